// quellspire-capture: the production rendered on a virtual clock to PNG files or a video.
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "app/capture/capture.h"
#include "app/capture/framesink.h"
#include "app/capture/options.h"
#include "app/capture/runend.h"
#include "app/version.h"
#include "diag/fatal.h"

namespace {

// The join is quellspire-join's job, a program beside this one; `quellspire-capture --join`,
// which `tools/capture.sh --join` runs, hands it the same arguments.
int handtojoin(char* argv[]) {
    std::error_code error;
    const std::string join =
        (std::filesystem::read_symlink("/proc/self/exe", error).parent_path() / "quellspire-join").string();
    execv(join.c_str(), argv);
    return talvo::capture::failure("cannot start " + join + ": " + std::strerror(errno));
}

}  // namespace

int main(int argc, char* argv[]) {
    using namespace talvo::capture;
    if (talvo::answersversion(argc, argv, "quellspire-capture")) return 0;
    try {
        catchstops();
    } catch (const capturefailure& e) {
        return failure(e.what());
    }
    captureoptions options;
    try {
        options = parseoptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const badoption& e) {
        return failure(std::string(e.what()) + "\nTry 'quellspire-capture --help'.", 2);
    }
    if (options.help) {
        std::cout << helptext;
        return 0;
    }
    if (options.join) return handtojoin(argv);
    int status = 1;
    talvo::endonfatal([&] { status = runcapture(options); });
    return status;
}
