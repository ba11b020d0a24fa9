#pragma once
// The exceptions that end a run. They carry nothing but a shader's log: the check that throws
// has already written its lines. endonfatal (fatal.h) turns them into the end of the run; maker
// mode's reload survives a shader that fails (app/maker.h).
#include <string>

namespace talvo {
namespace Log {
struct GLException {};
struct CLException {};
struct FTException {};
}  // namespace Log

struct ShaderCompilerException {
    std::string log;  // the compiler's
};
struct ProgramLinkerException {};
}  // namespace talvo
