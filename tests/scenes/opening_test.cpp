// The opening in this process: the fades, the acts, what is drawn when, the title cards, and
// what the scene lets go of when it leaves.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "cl/particles.h"
#include "engine/control.h"
#include "engine/data.h"
#include "engine/timercontrol.h"
#include "scenes/lines.h"
#include "scenes/opening.h"
#include "support/scenetest.h"

using namespace talvo;
using namespace talvo::testsupport;

namespace {

// What the tests look at inside the scene.
class probe : public opening {
public:
    using opening::acts;
    // The nested scene's camera timeline, reached through a member pointer named in a class
    // derived from it.
    class linesprobe : public lines {
    public:
        static controls::timercontrol& timeline(lines& l) {
            statelist scene::*list = &linesprobe::children;
            return dynamic_cast<controls::timercontrol&>(*(l.*list).children.at(0));
        }
    };
    float first() const { return firstvisibility; }
    float second() const { return secondvisibility; }
    float stars() const { return starvisibility; }
    const glm::mat4& starcamera() const { return starmatrix; }
    bool titles() const { return titleflag; }
    const Texture& title(int k) const { return k == 0 ? firsttitle : secondtitle; }
    bool released() const {
        return children.children.empty() && !target && !colour && !hdr && firsttitle.buf == 0 &&
               secondtitle.buf == 0 && titlepass.usecount() == 0 && starfield.name() == 0 && starva.name() == 0 &&
               starpoints.usecount() == 0;
    }
    // Sets every fade at once, as if the channels had: to show what display draws with them.
    void fades(float v) { firstvisibility = secondvisibility = starvisibility = v; }
    void onlyfirsttitle() {
        firstvisibility = 1.0f;
        secondvisibility = starvisibility = 0.0f;
    }
};

class openingtest : public scenetest {
protected:
    // The frame at T drawn, and the opening's HDR image of it.
    static std::vector<glm::vec3> frame(probe& s) {
        s.display();
        return hdrimage(sharedcolor);
    }
    static bool black(const std::vector<glm::vec3>& image) {
        return std::all_of(image.begin(), image.end(), [](const glm::vec3& p) { return p == glm::vec3(0.0f); });
    }
};

TEST_F(openingtest, TitlesFadeInAndOutAsTheStarsFade) {
    probe s;
    bringin(s, 0);
    EXPECT_FLOAT_EQ(s.first(), 0.0f);
    EXPECT_FLOAT_EQ(s.stars(), 1.0f);
    step(s, 12500);
    EXPECT_FLOAT_EQ(s.first(), 0.5f);
    EXPECT_FLOAT_EQ(s.second(), 0.0f);
    step(s, 20500);
    EXPECT_FLOAT_EQ(s.first(), 0.5f);
    EXPECT_FLOAT_EQ(s.second(), 0.5f);
    step(s, 26500);
    EXPECT_FLOAT_EQ(s.second(), 0.5f);
    EXPECT_FLOAT_EQ(s.stars(), 0.5f);
}

TEST_F(openingtest, StarsTurnUnderCameraAThenBThenA) {
    probe s;
    bringin(s, 0);
    EXPECT_EQ(s.starcamera(), opening::camera(0, 0.0f));
    for (const auto& [T, camera] : std::vector<std::pair<uint32_t, int>>{{3975, 0}, {4025, 1}, {8025, 0}, {11000, 0}}) {
        step(s, T);
        EXPECT_EQ(s.starcamera(), opening::camera(camera, float(T))) << "at " << T;
    }
}

TEST_F(openingtest, BeforeTwelveSecondsOnlyTheStarsAreDrawn) {
    probe s;
    bringin(s, 0);
    step(s, 6000);
    auto* nothing = dynamic_cast<statelist*>(s.acts->currentitem());
    ASSERT_NE(nothing, nullptr);
    EXPECT_TRUE(nothing->children.empty());
    EXPECT_FLOAT_EQ(s.first(), 0.0f);
    EXPECT_FLOAT_EQ(s.second(), 0.0f);

    const std::vector<glm::vec3> stars = frame(s);
    EXPECT_FALSE(black(stars));
    // Faint values: the pass makes 0.1 white.
    float brightest = 0.0f;
    for (const glm::vec3& p : stars) brightest = std::max({brightest, p.r, p.g, p.b});
    EXPECT_LT(brightest, 0.2f);
    s.fades(0.0f);
    EXPECT_TRUE(black(frame(s)));
    EXPECT_NO_THROW(glcheck("opening frames"));
}

TEST_F(openingtest, ParticlesFrom12SecondsThenLinesFrom28WithFourteenCameraCuts) {
    probe s;
    bringin(s, 0);
    step(s, 11975);
    EXPECT_EQ(s.acts->index, 0u);
    step(s, 12025);
    EXPECT_NE(dynamic_cast<particles*>(s.acts->currentitem()), nullptr);
    EXPECT_FALSE(black(frame(s)));
    step(s, 27975);
    EXPECT_TRUE(s.titles());
    step(s, 28025);
    auto* act = dynamic_cast<lines*>(s.acts->currentitem());
    ASSERT_NE(act, nullptr);
    EXPECT_FALSE(s.titles());
    EXPECT_EQ(probe::linesprobe::timeline(*act).fired, 14) << "the cuts before 28 s fire in its first frame";
    EXPECT_NO_THROW(glcheck("opening frames"));
}

TEST_F(openingtest, After28SecondsTitlesAndStarsAreNotDrawnAndKeepTheirLastValues) {
    probe s;
    bringin(s, 0);
    step(s, 26500);
    step(s, 27975);
    // Until 28 s the cards and stars are drawn over the particles.
    s.fades(1.0f);
    const std::vector<glm::vec3> shown = frame(s);
    s.fades(0.0f);
    EXPECT_NE(frame(s), shown);

    step(s, 27975);
    const glm::mat4 camera = s.starcamera();
    const float first = s.first(), second = s.second();
    for (uint32_t T : {28025u, 30000u, 40000u}) {
        step(s, T);
        EXPECT_EQ(s.starcamera(), camera) << "at " << T;
        EXPECT_EQ(s.first(), first);
        EXPECT_EQ(s.second(), second);
    }
    EXPECT_EQ(s.starcamera(), opening::camera(0, 27975.0f));
    s.fades(1.0f);
    const std::vector<glm::vec3> with = frame(s);
    s.fades(0.0f);
    EXPECT_EQ(frame(s), with) << "nothing of the cards or the stars is drawn from 28 s";
    EXPECT_FALSE(black(with)) << "lines fills the image";
}

// Drawn every frame once it has stepped, but for the frame that brings in lines, which replaces
// the picture and has not stepped yet: that frame keeps the picture before it.
TEST_F(openingtest, SyncAnswersTrueEveryFrameOnceItAndItsLinesHaveStepped) {
    probe s;
    bringin(s, 0);
    EXPECT_FALSE(s.sync());
    for (uint32_t T : {25u, 4000u, 6000u, 12025u, 20025u, 28025u, 28050u, 44025u, 55975u}) {
        at(T);
        s.update();
        EXPECT_EQ(s.sync(), T != 28025u) << "at " << T;
    }
}

TEST_F(openingtest, TitleCardIsCentredOnItsInkAndFaint) {
    probe s;
    for (int k : {0, 1}) {
        EXPECT_GT(s.title(k).width, 3 * s.title(k).height) << "one line of text";
    }
    bringin(s, 0);
    step(s, 6000);
    s.onlyfirsttitle();
    const std::vector<glm::vec3> card = frame(s);
    int left = windowwidth, right = -1, bottom = windowheight, top = -1;
    float brightest = 0.0f;
    for (int y = 0; y < windowheight; ++y)
        for (int x = 0; x < windowwidth; ++x) {
            const glm::vec3& p = card[size_t(y * windowwidth + x)];
            brightest = std::max(brightest, p.r);
            if (p.r < 0.02f) continue;
            left = std::min(left, x);
            right = std::max(right, x);
            bottom = std::min(bottom, y);
            top = std::max(top, y);
        }
    ASSERT_GE(right, 0) << "the card is drawn";
    // Within a pixel of the middle both ways, about nine tenths of the half-width card wide.
    EXPECT_NEAR(float(left + right) * 0.5f, float(windowwidth - 1) * 0.5f, 1.0f);
    EXPECT_NEAR(float(bottom + top) * 0.5f, float(windowheight - 1) * 0.5f, 1.0f);
    EXPECT_NEAR(float(right - left + 1), 0.45f * float(windowwidth), 2.0f);
    EXPECT_LE(brightest, 0.1f);
    EXPECT_GT(brightest, 0.05f);
}

TEST_F(openingtest, LeavingLetsGoOfEverything) {
    probe s;
    bringin(s, 0);
    step(s, 12025);
    s.leave(nullptr);
    EXPECT_TRUE(s.released());
    EXPECT_NO_THROW(glcheck("opening left"));
}

}  // namespace
