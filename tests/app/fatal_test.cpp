// How a run ends after a failed check on the render thread, in the loop or in a handle's
// release: the check's line is the last output and the status is 1, whatever the update thread
// is doing. Each case runs in a child process on its own window.
#include <gtest/gtest.h>

#include <epoxy/gl.h>

#include <cstdlib>

#include "app/loop.h"
#include "app/production.h"
#include "diag/check.h"
#include "engine/state.h"
#include "gl/texture.h"
#include "support/appwindow.h"

namespace {

// Opens a small window with both contexts, as the production starts.
void startwindow() { talvo::testsupport::openappwindow("fatal", 64, 48); }

// A state whose drawing leaves a GL error for the loop's check to find.
class faultydisplay : public talvo::state {
public:
    void display() override { glEnable(0x1234); }
};

// A state whose frame hand-over fails its own check.
class faultysync : public talvo::state {
public:
    bool sync() override {
        GLCHECKED(glEnable(0x1234));
        return true;
    }
};

class fatalend : public ::testing::Test {
protected:
    // The loop runs a second thread; the child must not inherit a forked copy of it.
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(fatalend, ACheckFailingInDisplayOrSyncEndsWithStatus1AndTheCheckLineLast) {
    EXPECT_EXIT(
        {
            startwindow();
            faultydisplay s;
            talvo::setcurrent(&s);
            talvo::mainloop(0);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(1),
        "at tail of current->display\\(\\) \\(This probably indicates an error in display or update.\\) \\| "
        "NONFATAL GLERROR: invalid enumerant\n$");
    EXPECT_EXIT(
        {
            startwindow();
            faultysync s;
            talvo::setcurrent(&s);
            talvo::mainloop(0);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(1), "at glEnable\\(0x1234\\); \\| NONFATAL GLERROR: invalid enumerant\n$");
}

TEST_F(fatalend, AHandleReleasedWithAnErrorPendingEndsWithStatus1) {
    EXPECT_EXIT(
        {
            startwindow();
            {
                talvo::Texture t(1, GL_RGBA8, 4, 4, GL_TEXTURE_2D);
                glEnable(0x1234);  // left unchecked: the release's check finds it
            }
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(1), "\\| NONFATAL GLERROR: invalid enumerant\n$");
}

}  // namespace
