#include "diag/fatal.h"

#include <cerrno>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <new>

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
        // Its line has no end, so that a skipped glyph's next output follows it; the last
        // line of a run ends.
        std::cerr << '\n';
        endrun();
    } catch (const ShaderCompilerException&) {
        endrun();
    } catch (const ProgramLinkerException&) {
        endrun();
    } catch (const std::bad_alloc&) {
        fatal(std::string(program_invocation_short_name) +
              ": out of memory: free some, or ask for a smaller picture, and start again");
    } catch (const std::exception& e) {
        // Anything else (a thread that cannot start) would end in std::terminate's abort, with
        // a core and no status 1.
        fatal(std::string(program_invocation_short_name) + ": " + e.what());
    }
}

}  // namespace talvo
