#pragma once
// The exceptions that end a run. They carry nothing: the check that throws has already
// written its lines to standard error. endonfatal (fatal.h) turns them into the end of the run.

namespace talvo {
namespace Log {
struct GLException {};
struct CLException {};
struct FTException {};
}  // namespace Log

struct ShaderCompilerException {};
struct ProgramLinkerException {};
}  // namespace talvo
