#pragma once
// OpenCL tests run on PoCL with a real GL context current (GL buffers are kernel arguments).
#include <epoxy/gl.h>

#include <string>
#include <vector>

#include "cl/kerneltemplates.h"
#include "support/glcontext.h"

namespace talvo::testsupport {

using cltest = gltest;

// Once the tests are done, the cached kernel programs go, and with the last program the OpenCL
// context: before the test's GL context, which it shares with, is destroyed at the end.
class computerelease : public ::testing::Environment {
public:
    void TearDown() override { dropprogramcaches(); }
};
inline ::testing::Environment* const releasescompute = ::testing::AddGlobalTestEnvironment(new computerelease);

constexpr const char* cloptions = "-cl-fast-relaxed-math -cl-mad-enable";

// The first n floats of a GL buffer, read on the current context.
inline std::vector<float> glfloats(GLuint buf, int n) {
    std::vector<float> values(size_t(n), -1.0f);
    // GL_ARRAY_BUFFER: the copy targets are cached by Buffer::copyFrom.
    glBindBuffer(GL_ARRAY_BUFFER, buf);
    glGetBufferSubData(GL_ARRAY_BUFFER, 0, GLsizeiptr(n) * GLsizeiptr(sizeof(float)), values.data());
    return values;
}

// Occurrences of needle in text.
inline int occurrences(const std::string& text, const std::string& needle) {
    int n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
    return n;
}

#ifdef INTEROPLAYER
// The start of a shell command line that runs a program under the interop layer
// (tests/support/interop). A sanitizer's runtime is then not the first library, which it is
// told is intended.
inline std::string underinterop() {
    return std::string("ASAN_OPTIONS=\"$ASAN_OPTIONS:verify_asan_link_order=0\" LD_PRELOAD=") + INTEROPLAYER + " ";
}
#endif

}  // namespace talvo::testsupport
