// The first frame of a run that starts late, through the real loop in this process: the
// production on a window of the test display, watched from its first sync to its first display.
#include <gtest/gtest.h>

#include <epoxy/gl.h>

#include <algorithm>
#include <vector>

#include "app/loop.h"
#include "app/production.h"
#include "engine/control.h"
#include "engine/globals.h"
#include "production/demostart.h"
#include "scenes/dreamscape.h"
#include "support/appwindow.h"
#include "support/glpixels.h"

namespace {

bool bright(const std::vector<glm::u8vec4>& pixels) {
    const size_t lit = std::count_if(pixels.begin(), pixels.end(),
                                     [](glm::u8vec4 p) { return std::max({p.r, p.g, p.b}) > 16; });
    return lit > pixels.size() / 4;
}

// Stands in front of the production: forwards everything to it and notes, frame by frame, the
// scene each sync left current, until a frame shows a picture (a scene's first frame comes
// before its first step, and has nothing to show yet); then ends the run.
class watcher : public talvo::state {
public:
    explicit watcher(talvo::demostart& production) : production(production) {}

    void resize(int width, int height) override { production.resize(width, height); }
    void enter(state* previous) override { production.enter(previous); }
    void leave(state* next) override { production.leave(next); }
    void update() override { production.update(); }
    bool sync() override {
        const bool drawn = production.sync();
        if (scenes.empty()) firstsynctime = talvo::productiontime();
        scenes.push_back(production.switcher().currentitem());
        return drawn;
    }
    void display() override {
        production.display();
        ++displays;
        shown = bright(talvo::testsupport::windowpixels());
        if (shown || displays == 500) talvo::quit = true;
    }

    talvo::demostart& production;
    std::vector<talvo::state*> scenes;
    uint32_t firstsynctime = 0;
    int displays = 0;
    bool shown = false;
};

TEST(FirstFrame, StartingAt100SecondsEveryFrameIsDreamscapesFromTheFirst) {
    talvo::testsupport::openappwindow("first frame", 320, 180);
    {
        talvo::demostart production;
        watcher probe(production);
        talvo::setcurrent(&probe);
        talvo::mainloop(100000);
        talvo::setcurrent(nullptr);

        EXPECT_EQ(probe.firstsynctime, 100000u);
        EXPECT_TRUE(probe.shown) << "no picture in " << probe.displays << " frames";
        ASSERT_FALSE(probe.scenes.empty());
        for (size_t i = 0; i < probe.scenes.size(); ++i)
            EXPECT_NE(dynamic_cast<dreamscape*>(probe.scenes[i]), nullptr) << "frame " << i << " is not dreamscape's";
    }
    talvo::closewindow();
}

}  // namespace
