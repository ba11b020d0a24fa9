#include "diag/fatal.h"

#include <cstdlib>
#include <exception>
#include <iostream>

#include "diag/exceptions.h"

namespace talvo {

void fatal(const std::string& why) {
    fatal(std::cerr, why);
}

void fatal(std::ostream& stream, const std::string& why) {
    stream << why + "\n";
    endrun();
}

void endrun() {
    std::cout.flush();
    std::cerr.flush();
    std::quick_exit(1);
}

void endonfatal(const std::function<void()>& body) {
    try {
        body();
    } catch (const Log::GLException&) {
        endrun();
    } catch (const Log::CLException&) {
        endrun();
    } catch (const Log::FTException&) {
        endrun();
    } catch (const ShaderCompilerException&) {
        endrun();
    } catch (const ProgramLinkerException&) {
        endrun();
    } catch (const std::exception& e) {
        // Anything else (memory, a thread that cannot start) would end in std::terminate's
        // abort, with a core and no status 1.
        fatal(e.what());
    }
}

}  // namespace talvo
