#pragma once
// The production's own window for a test suite: openwindow() with both GL contexts, windowed,
// without vsync, the engine globals in their start state. For the parts that use the secondary
// context or read the window back.
//
//   static void SetUpTestSuite() { talvo::testsupport::openappwindow("my tests", 40, 30); }
//   static void TearDownTestSuite() { talvo::closewindow(); }
//
// For test targets that link talvo_app; needs a display.
#include <string>

#include "app/production.h"

namespace talvo::testsupport {

inline void openappwindow(const std::string& title, int width, int height) {
    talvo::resetglobals();
    talvo::runconfig config;
    config.title = title;
    config.windowmode = 0;
    config.width = width;
    config.height = height;
    config.vsync = false;
    talvo::openwindow(config);
}

}  // namespace talvo::testsupport
