#include "diag/fatal.h"

#include <cstdlib>
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
    }
}

}  // namespace talvo
