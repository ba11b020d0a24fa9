#pragma once
// The main function of a benchmark: reads its command line, opens a hidden GL 3.3 core
// window of the chosen size, runs the body with its context current and closes the window.
//
//   int main(int argc, char** argv) {
//       return talvo::bench::benchmain(argc, argv, talvo::bench::arguments::sizeandsteps, {640, 360, 15},
//                                      [](const talvo::bench::benchargs& args) { ... });
//   }
#include <functional>

namespace talvo::bench {

struct benchargs {
    int width, height;  // of the hidden window
    int steps;          // timed rounds
};

// What the command line may set: "[steps]" or "[WxH [steps]]".
enum class arguments { steps, sizeandsteps };

// Status 0 after the body (or --help), 1 when there is no display or context, when a GL or
// OpenCL check failed in the body (the check has printed why) or when the body threw (its
// message is printed), 2 with the usage on standard error for a command line it cannot read.
int benchmain(int argc, char** argv, arguments takes, benchargs defaults,
              const std::function<void(const benchargs&)>& body);

}  // namespace talvo::bench
