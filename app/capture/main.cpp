// quellspire-capture: the production rendered on a virtual clock to PNG files or a video.
#include <iostream>
#include <string>
#include <vector>

#include "app/capture/capture.h"
#include "app/capture/framesink.h"
#include "app/capture/options.h"
#include "app/capture/runend.h"
#include "app/capture/segmentjoin.h"
#include "diag/fatal.h"

int main(int argc, char* argv[]) {
    using namespace talvo::capture;
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
    // The documented `tools/capture.sh --join` still joins here, as quellspire-join does.
    if (options.join) return runjoin(options);
    int status = 1;
    talvo::endonfatal([&] { status = runcapture(options); });
    return status;
}
