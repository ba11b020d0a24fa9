#pragma once
// The check that follows every GL, OpenCL, FreeType and audio call. Each check receives the
// call's literal source text; the GLCHECKED/CLCHECKED/... macros produce it from the call
// itself, so the message and the call cannot drift apart. GL, CL and FreeType failures throw
// (see exceptions.h); audio failures only print.
// No call here ends the process: a throw that nothing handles reaches endonfatal (fatal.h).
#include <string>

#include "diag/exceptions.h"

namespace talvo {

// Prints one line per pending GL error (at most 1000) and throws Log::GLException if any.
// On a debug context it first prints "at <text> | GLDEBUG <type>, <severity>: <message>" for
// each error, undefined behaviour, or high or medium message the driver gave since the last
// check, and throws for those too; other messages pass.
void glcheck(const std::string& text);
// Prints "at <text> | CLERROR: <name>" and throws Log::CLException when status is not 0.
void clcheck(int status, const std::string& text);
// Prints "at <text> | FTERROR: <code>" without a line end and throws Log::FTException.
void ftcheck(int error, const std::string& text);
// The check for a FreeType failure that its caller survives and reports in a line of its own
// (glyphs left out of a text, said once per font): "at <text> | FTERROR: <code>" when error is
// not 0, else "". Prints nothing, throws nothing.
std::string ftfailure(int error, const std::string& text);
// Prints "at <text> | FMODERROR: <description>" when result is not 0, then returns the
// result, for a caller that says more about the failure.
int fmodcheck(int result, const std::string& text);

const char* clerrorname(int status);
const char* fmoderrortext(int result);

// Info-log printers for failed compiles and links (standard output). Each returns the log it
// printed ("" for none).
std::string shaderlog(unsigned shader);
std::string programlog(unsigned program);

}  // namespace talvo

// GLCHECKED(glBindTexture(texturedims, buf)); runs the statement, then checks it under the
// label "glBindTexture(texturedims, buf);".
#define GLCHECKED(statement)                  \
    do {                                      \
        statement;                            \
        ::talvo::glcheck(#statement ";");     \
    } while (0)

// CLCHECKED(clFinish(queue)); checks the status the call returns, labelled "clFinish(queue)".
#define CLCHECKED(call) ::talvo::clcheck((call), #call)
// CLCHECKED_ERR(mem = clCreateBuffer(..., &err), err); for calls that report through an
// out-parameter.
#define CLCHECKED_ERR(statement, status)          \
    do {                                          \
        statement;                                \
        ::talvo::clcheck((status), #statement);   \
    } while (0)
#define FTCHECKED(call) ::talvo::ftcheck((call), #call)
#define FMODCHECKED(call) ::talvo::fmodcheck((call), #call)
