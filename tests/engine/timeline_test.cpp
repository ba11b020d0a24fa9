#include <memory>
#include <gtest/gtest.h>

#include "engine/control.h"
#include "engine/timercontrol.h"
#include "recorder.h"

using talvo::controls::control;
using talvo::controls::listener;
using talvo::controls::timercontrol;

namespace {

// Remembers the indices it was told and the production time at each.
struct eventlog : listener {
    void notify(int index) override {
        indices.push_back(index);
        times.push_back(talvo::productiontime());
    }
    std::vector<int> indices;
    std::vector<uint32_t> times;
};

using timelinetest = enginetest;

TEST_F(timelinetest, FiresDueEventsInOrderAndConsumesThem) {
    timercontrol timeline;
    eventlog told;
    timeline.addlistener(&told);
    timeline.addevent(8000);
    timeline.addevent(4000);
    timeline.addevent(12000);

    at(3000);
    EXPECT_FALSE(timeline.sync());
    at(9000);
    EXPECT_TRUE(timeline.sync());
    EXPECT_EQ(told.indices, (std::vector<int>{0, 1}));
    EXPECT_EQ(timeline.events.size(), 1u);
    EXPECT_FALSE(timeline.sync());  // nothing new is due

    // An event exactly at the production time has not been passed yet.
    at(12000);
    EXPECT_FALSE(timeline.sync());
    at(12025);
    EXPECT_TRUE(timeline.sync());
    EXPECT_EQ(told.indices, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(timeline.fired, 3);

    at(100000);
    EXPECT_FALSE(timeline.sync());
    EXPECT_EQ(told.indices.size(), 3u);
}

TEST_F(timelinetest, ReadsTheClockAgainBeforeEachEventAndTellsListenersInOrder) {
    // The first listener moves the clock past the second event while being told of the first.
    struct mover : listener {
        void notify(int index) override {
            order->push_back("mover" + std::to_string(index));
            if (index == 0) at(9000);
        }
        std::vector<std::string>* order;
    };
    struct second : listener {
        void notify(int index) override { order->push_back("second" + std::to_string(index)); }
        std::vector<std::string>* order;
    };
    std::vector<std::string> order;
    mover m;
    second s;
    m.order = s.order = &order;
    timercontrol timeline;
    timeline.addlistener(&m);
    timeline.addlistener(&s);
    timeline.addevent(4000);
    timeline.addevent(8000);

    at(5000);
    EXPECT_TRUE(timeline.sync());
    EXPECT_EQ(order, (std::vector<std::string>{"mover0", "second0", "mover1", "second1"}));
}

TEST_F(timelinetest, DuplicateTimesAreOneEvent) {
    timercontrol timeline;
    eventlog told;
    timeline.addlistener(&told);
    timeline.addevent(56000);
    timeline.addevent(56000);
    at(60000);
    EXPECT_TRUE(timeline.sync());
    EXPECT_EQ(told.indices, (std::vector<int>{0}));
}

TEST_F(timelinetest, OffsetIsSubtractedFromTheProductionTime) {
    timercontrol timeline;
    eventlog told;
    timeline.addlistener(&told);
    timeline.offset = 1000;
    timeline.addevent(4000);
    at(5000);
    EXPECT_FALSE(timeline.sync());
    at(5001);
    EXPECT_TRUE(timeline.sync());
}

TEST_F(timelinetest, ListenerSyncingItsOwnTimelineDoesNotFireAnEventTwice) {
    struct resyncer : listener {
        void notify(int index) override {
            indices.push_back(index);
            timeline->sync();
        }
        timercontrol* timeline;
        std::vector<int> indices;
    };
    timercontrol timeline;
    resyncer r;
    r.timeline = &timeline;
    timeline.addlistener(&r);
    timeline.addevent(1000);
    timeline.addevent(2000);
    timeline.addevent(9000);
    at(3000);
    EXPECT_TRUE(timeline.sync());
    EXPECT_EQ(r.indices, (std::vector<int>{0, 1}));
    EXPECT_EQ(timeline.events.size(), 1u);
}

TEST_F(timelinetest, EventsAcrossTheWrapOfTheTickCounter) {
    talvo::starttime = 0xFFFFFFFFu - 2000;  // the counter wraps 2001 ms into the production
    timercontrol timeline;
    eventlog told;
    timeline.addlistener(&told);
    timeline.addevent(1000);
    timeline.addevent(4000);

    at(1500);
    EXPECT_TRUE(timeline.sync());
    at(4000);
    ASSERT_LT(talvo::updatetime, talvo::starttime);  // the tick counter has wrapped
    EXPECT_FALSE(timeline.sync());
    at(4025);
    EXPECT_TRUE(timeline.sync());
    EXPECT_EQ(told.indices, (std::vector<int>{0, 1}));
    EXPECT_EQ(told.times, (std::vector<uint32_t>{1500, 4025}));
}

// A timeline and a switcher composed as the production composes them.
class switchertest : public enginetest {
protected:
    switchertest() {
        timeline->addlistener(switcher);
        for (const char* name : {"a", "b", "c"}) switcher->additem(std::make_unique<recorder>(name, log));
    }
    calllog log;
    talvo::statelist list;
    timercontrol* timeline = list.add(std::make_unique<timercontrol>());
    control<talvo::state>* switcher = list.add(std::make_unique<control<talvo::state>>());
};

TEST_F(switchertest, TriggersSelectWhichEventsAdvance) {
    switcher->addtrigger(0);
    switcher->addtrigger(2);
    for (float t : {1000.f, 2000.f, 3000.f}) timeline->addevent(t);
    talvo::windowwidth = 640;
    talvo::windowheight = 480;
    list.enter(nullptr);

    at(1500);
    log.clear();
    // The switch happens inside the sync, and the switcher's sync reaches the new item.
    EXPECT_TRUE(list.sync());
    EXPECT_EQ(log, (calllog{"a.leave(b)", "b.resize(640,480)", "b.enter(a)", "b.sync"}));
    at(2500);
    list.sync();
    EXPECT_EQ(switcher->index, 1u);
    at(3500);
    list.sync();
    EXPECT_EQ(switcher->index, 2u);
    EXPECT_EQ(recorder::nameof(switcher->currentitem()), "c");
}

TEST_F(switchertest, WrapsAroundAfterTheLastItem) {
    switcher->addtrigger(-1);
    for (float t : {1000.f, 2000.f, 3000.f}) timeline->addevent(t);
    list.enter(nullptr);
    at(5000);
    log.clear();
    EXPECT_TRUE(list.sync());
    EXPECT_EQ(switcher->index, 3u);
    EXPECT_EQ(recorder::nameof(switcher->currentitem()), "a");
    EXPECT_EQ(log, (calllog{"a.leave(b)", "b.resize(0,0)", "b.enter(a)", "b.leave(c)",
                            "c.resize(0,0)", "c.enter(b)", "c.leave(a)", "a.resize(0,0)",
                            "a.enter(c)", "a.sync"}));
}

TEST_F(switchertest, ForwardsToTheCurrentItemOnly) {
    switcher->advance(1);
    log.clear();
    switcher->display();
    switcher->update();
    switcher->resize(3, 4);
    switcher->enter(nullptr);
    switcher->leave(nullptr);
    EXPECT_EQ(log, (calllog{"b.display", "b.update", "b.resize(3,4)", "b.enter(null)",
                            "b.leave(null)"}));

    // The control answers what its current item answers.
    static_cast<recorder*>(switcher->items[1].get())->answer = false;
    EXPECT_FALSE(switcher->sync());
}

TEST_F(switchertest, AdvanceWhileInactiveMovesOnlyTheIndex) {
    switcher->advance(1);
    EXPECT_EQ(switcher->index, 1u);
    EXPECT_TRUE(log.empty());
    EXPECT_FALSE(switcher->active);

    // Entering the control enters the item it moved to, told the control's own predecessor.
    recorder before("before", log);
    switcher->enter(&before);
    EXPECT_EQ(log, (calllog{"b.enter(before)"}));

    // After leaving, it is inactive again.
    switcher->leave(nullptr);
    log.clear();
    switcher->advance(2);
    EXPECT_TRUE(log.empty());
}

TEST_F(switchertest, AdvanceWhileActiveLeavesResizesAndEnters) {
    talvo::windowwidth = 800;
    talvo::windowheight = 600;
    switcher->enter(nullptr);
    log.clear();
    switcher->advance(2);
    EXPECT_EQ(log, (calllog{"a.leave(c)", "c.resize(800,600)", "c.enter(a)"}));
}

TEST_F(switchertest, DormantTimelineCatchesUpWhenItBecomesCurrent) {
    // A switcher whose second item is a timeline: it is not synced while the first is current.
    auto* acts = list.add(std::make_unique<control<talvo::state>>());
    acts->additem(std::make_unique<talvo::statelist>());
    auto* inner = acts->additem(std::make_unique<timercontrol>());
    eventlog told;
    inner->addlistener(&told);
    inner->addevent(4000);
    inner->addevent(8000);
    acts->addtrigger(0);
    timeline->addlistener(acts);
    timeline->addevent(9500);
    list.enter(nullptr);

    at(9000);
    list.sync();
    EXPECT_TRUE(told.indices.empty());
    at(10000);
    EXPECT_TRUE(list.sync());  // the outer timeline switches to the inner one; it syncs at once
    EXPECT_EQ(told.indices, (std::vector<int>{0, 1}));
    EXPECT_EQ(told.times, (std::vector<uint32_t>{10000, 10000}));
}

TEST(controltest, WithoutItemsEveryOperationIsHarmless) {
    control<talvo::state> empty;
    empty.addtrigger(-1);
    empty.enter(nullptr);
    empty.display();
    empty.update();
    empty.resize(1, 1);
    EXPECT_FALSE(empty.sync());
    empty.notify(0);
    EXPECT_EQ(empty.index, 1u);
    EXPECT_EQ(empty.currentitem(), nullptr);
    empty.leave(nullptr);
}

TEST(controltest, DeletesItsItemsFirstToLast) {
    calllog log;
    {
        control<recorder> owner;
        owner.additem(std::make_unique<recorder>("a", log));
        owner.additem(std::unique_ptr<recorder>());
        owner.additem(std::make_unique<recorder>("b", log));
    }
    EXPECT_EQ(log, (calllog{"a.delete", "b.delete"}));
}

}  // namespace
