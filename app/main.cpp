#include <csignal>
#include <cstdlib>
#include <iostream>

#include "diag/fatal.h"
#include "app/filesizelimit.h"
#include "app/production.h"
#include "app/runconfig.h"
#include "app/stopsignal.h"
#include "app/standardstreams.h"
#include "app/version.h"

int main(int argc, char* argv[]) {
    talvo::openstandardstreams();
    if (talvo::answersversion(argc, argv, "quellspire")) return 0;
    if (talvo::askshelp(argc, argv)) {
        std::cout << talvo::helptext;
        return 0;
    }
    talvo::runconfig config;
    try {
        config = talvo::parsecommandline(argc, argv);
    } catch (const talvo::badcommandline& e) {
        std::cerr << "quellspire: " << e.what() << "; see 'quellspire --help'" << std::endl;
        return 2;
    }
#ifdef QUELLSPIRE_TEST_HOOKS
    // Only in the copy built for the tests: a loop's later passes start this many milliseconds
    // in, so that a test sees the production's end come round within seconds.
    if (const char* restart = std::getenv("QUELLSPIRE_TEST_RESTART"))
        config.restart = static_cast<uint32_t>(std::strtoul(restart, nullptr, 10));
#endif
    if (std::string refusal = talvo::filesizerefusal(); !refusal.empty()) {
        std::cerr << "quellspire: " << refusal << "; raise it (ulimit -f unlimited) and start again" << std::endl;
        return 1;
    }
    talvo::endonfatal([&] { talvo::runproduction(config); });
    // Ended by a signal: nobody at the console to press enter. The process then ends by that
    // signal, as the capture does, so that a shell loop around it stops on Ctrl-C too.
    if (const int signal = talvo::stopsignal()) {
        std::cout.flush();
        std::signal(signal, SIG_DFL);
        std::raise(signal);
    }
    std::cout << "Press enter to exit..." << std::endl;
    std::cin.get();
    return 0;
}
