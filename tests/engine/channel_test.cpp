#include <memory>
#include <gtest/gtest.h>

#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>

#include "engine/data.h"
#include "engine/pdata.h"
#include "engine/timercontrol.h"
#include "recorder.h"

// Every member of the channel kinds the scenes use, compiled whether a test calls it or not.
template class talvo::data<float>;
template class talvo::data<bool>;
template class talvo::data<glm::mat4>;
template class talvo::pdata<glm::mat4>;
template class talvo::controls::control<talvo::data<float>>;
template class talvo::controls::control<talvo::data<bool>>;
template class talvo::controls::control<talvo::data<glm::mat4>>;
template class talvo::controls::control<talvo::pdata<glm::mat4>>;
template class talvo::controls::control<talvo::controls::timercontrol>;

namespace {

using channeltest = enginetest;

float seconds() { return static_cast<float>(talvo::productiontime()) / 1000.f; }

TEST_F(channeltest, DataPublishesOnlyInSyncAndOnEnter) {
    talvo::statelist list;
    float target = -1.f;
    at(2000);
    talvo::data<float>* channel = talvo::addchannel(list, seconds, &target);
    ASSERT_EQ(list.children.size(), 1u);
    ASSERT_EQ(list.children[0].get(), channel);
    EXPECT_EQ(channel->value, 2.f);
    EXPECT_EQ(target, -1.f);  // nothing is written at creation

    at(2500);
    list.enter(nullptr);
    EXPECT_EQ(target, 2.5f);
    EXPECT_EQ(channel->value, 2.5f);

    for (uint32_t t : {2525u, 2550u, 2575u}) {
        at(t);
        list.update();
    }
    EXPECT_EQ(target, 2.5f);  // display keeps reading the last published value
    at(2600);                 // the clock may run on; sync publishes what update computed
    EXPECT_TRUE(list.sync());
    EXPECT_EQ(target, 2.575f);
    EXPECT_EQ(channel->value, 2.575f);
}

TEST_F(channeltest, SwitchedChannelPublishesItsValueInTheSameSync) {
    bool flag = false;
    talvo::statelist list;
    auto* timeline = list.add(std::make_unique<talvo::controls::timercontrol>());
    auto* flags = list.add(std::make_unique<talvo::controls::control<talvo::data<bool>>>());
    timeline->addlistener(flags);
    timeline->addevent(1000);
    flags->addtrigger(-1);
    int calls = 0;
    talvo::addchannel(*flags, [&] { return ++calls, true; }, &flag);
    talvo::data<bool>* second = talvo::addchannel(*flags, [] { return false; }, &flag);

    list.enter(nullptr);
    EXPECT_TRUE(flag);
    list.update();
    at(1025);
    list.sync();
    EXPECT_EQ(flags->currentitem(), second);
    EXPECT_FALSE(flag);
    EXPECT_FALSE(second->value);
    const int before = calls;
    list.update();
    list.sync();
    EXPECT_EQ(calls, before);  // the outgoing channel is no longer computed
    EXPECT_FALSE(flag);
}

TEST_F(channeltest, MatrixChannelsInAControlSwitchCameras) {
    glm::mat4 camera(1.f);
    talvo::controls::control<talvo::data<glm::mat4>> cameras;
    const glm::mat4 a = glm::translate(glm::mat4(1.f), glm::vec3(1, 2, 3));
    const glm::mat4 b = glm::scale(glm::mat4(1.f), glm::vec3(2));
    talvo::addchannel(cameras, [&] { return a; }, &camera);
    talvo::addchannel(cameras, [&] { return b; }, &camera);
    cameras.addtrigger(0);
    cameras.enter(nullptr);
    EXPECT_EQ(camera, a);
    cameras.notify(1);
    EXPECT_EQ(camera, a);
    cameras.notify(0);
    EXPECT_EQ(camera, b);
}

TEST_F(channeltest, PdataWritesInUpdateAndItsSyncChangesNothing) {
    const glm::mat4 identity(1.f);
    glm::mat4 root = identity;
    auto moving = [] {
        return glm::translate(glm::mat4(1.f), glm::vec3(seconds(), 0.f, 0.f));
    };
    talvo::controls::control<talvo::pdata<glm::mat4>> cameras;
    at(1000);
    talvo::pdata<glm::mat4>* channel = talvo::addpchannel(cameras, moving, &root);
    EXPECT_EQ(channel->value, moving());
    EXPECT_EQ(root, identity);

    at(1025);
    cameras.update();
    const glm::mat4 written = moving();
    EXPECT_EQ(root, written);
    at(1050);
    EXPECT_TRUE(cameras.sync());
    EXPECT_EQ(root, written);

    // Entering writes at once.
    at(2000);
    cameras.enter(nullptr);
    EXPECT_EQ(root, moving());

    // The statelist shortcut appends the same kind of channel.
    talvo::statelist list;
    glm::mat4 other = identity;
    EXPECT_EQ(list.children.size(), 0u);
    talvo::pdata<glm::mat4>* child = talvo::addpchannel(list, moving, &other);
    ASSERT_EQ(list.children.size(), 1u);
    EXPECT_EQ(list.children[0].get(), child);
    list.update();
    EXPECT_EQ(other, moving());
}

}  // namespace
