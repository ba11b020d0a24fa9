#include "app/runconfig.h"

#include <sstream>

namespace talvo {

namespace {
void readint(const char* argument, int& value) {
    std::istringstream in(argument);
    int read = 0;
    if (in >> read) value = read;
}
}  // namespace

runconfig parsecommandline(int argc, const char* const argv[]) {
    runconfig config;
    if (argc >= 3) {
        readint(argv[1], config.width);
        readint(argv[2], config.height);
    }
    if (argc >= 4) readint(argv[3], config.samples);
    return config;
}

}  // namespace talvo
