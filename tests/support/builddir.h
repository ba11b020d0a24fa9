#pragma once
// The build directory, which the test targets pass in TALVO_BUILD_DIR: its resources/ links to
// the source tree's, so that a program started there finds its files.
#include <string>

namespace talvo::testsupport {

inline const std::string builddir = TALVO_BUILD_DIR;

}  // namespace talvo::testsupport
