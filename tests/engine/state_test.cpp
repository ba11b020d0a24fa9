#include <memory>
#include <gtest/gtest.h>

#include "recorder.h"

namespace {

using statetest = enginetest;

TEST_F(statetest, ListForwardsEveryOperationFirstToLast) {
    calllog log;
    {
        talvo::statelist list;
        recorder prev("prev", log);
        list.add(std::make_unique<recorder>("a", log, false));
        list.add(std::make_unique<recorder>("b", log, true));
        list.add(std::make_unique<recorder>("c", log, false));
        list.display();
        list.update();
        list.resize(7, 9);
        list.enter(&prev);
        list.leave(nullptr);
        EXPECT_TRUE(list.sync());  // no early stop after b's true
    }
    EXPECT_EQ(log, (calllog{"a.display", "b.display", "c.display",
                            "a.update", "b.update", "c.update",
                            "a.resize(7,9)", "b.resize(7,9)", "c.resize(7,9)",
                            "a.enter(prev)", "b.enter(prev)", "c.enter(prev)",
                            "a.leave(null)", "b.leave(null)", "c.leave(null)",
                            "a.sync", "b.sync", "c.sync",
                            "prev.delete", "a.delete", "b.delete", "c.delete"}));
}

TEST_F(statetest, EmptyListAnswersFalse) {
    talvo::statelist list;
    list.display();
    list.update();
    list.resize(1, 1);
    list.enter(nullptr);
    list.leave(nullptr);
    EXPECT_FALSE(list.sync());
}

TEST_F(statetest, ListAnswersFalseWhenEveryChildDoes) {
    calllog log;
    talvo::statelist list;
    list.add(std::make_unique<recorder>("a", log, false));
    list.add(std::make_unique<recorder>("b", log, false));
    EXPECT_FALSE(list.sync());
}

// Records viewport calls in the same log as the states.
calllog* viewportlog = nullptr;
void recordviewport(int width, int height) {
    viewportlog->push_back("viewport(" + std::to_string(width) + "," + std::to_string(height) + ")");
}

TEST_F(statetest, SetcurrentResizesToTheStoredSizeBeforeEntering) {
    calllog log;
    viewportlog = &log;
    talvo::setviewport = recordviewport;
    recorder x("x", log);
    recorder y("y", log);
    talvo::windowwidth = 800;
    talvo::windowheight = 600;

    talvo::setcurrent(&x);
    EXPECT_EQ(talvo::current, &x);
    talvo::setcurrent(&y);
    EXPECT_EQ(talvo::current, &y);
    EXPECT_EQ(log, (calllog{"viewport(800,600)", "x.resize(800,600)", "x.enter(null)",
                            "x.leave(y)", "viewport(800,600)", "y.resize(800,600)",
                            "y.enter(x)"}));

    // Leaving for nothing: no resize, no viewport, and the state is not deleted.
    log.clear();
    talvo::setcurrent(nullptr);
    EXPECT_EQ(talvo::current, nullptr);
    EXPECT_EQ(log, (calllog{"y.leave(null)"}));
}

TEST_F(statetest, OnresizeRecordsTheSizeAndResizesCurrent) {
    calllog log;
    talvo::onresize(320, 200);  // no current state, no viewport setter: only the size is kept
    EXPECT_EQ(talvo::windowwidth, 320);
    EXPECT_EQ(talvo::windowheight, 200);

    recorder x("x", log);
    talvo::current = &x;
    talvo::onresize(1024, 768);
    EXPECT_EQ(talvo::windowwidth, 1024);
    EXPECT_EQ(talvo::windowheight, 768);
    EXPECT_EQ(log, (calllog{"x.resize(1024,768)"}));
}

}  // namespace
