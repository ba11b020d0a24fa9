// Every way the audio calls can fail: the result code, its text, and that nothing else
// happens (the production goes on, silently if need be).
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <filesystem>
#include <string>

#include "app/music.h"
#include "diag/check.h"
#include "support/audiotest.h"
#include "support/scratchdir.h"

namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

const char* const invalidhandle = "An invalid object handle was used. ";

void writetune(const std::string& path) {
    audiotest::writeflac(path, 44100, 2, 4410,
                         [](int i, int c) { return static_cast<float>(0.3 * std::sin(0.05 * i + c)); });
}

class failures : public testing::Test {
protected:
    talvo::testsupport::scratchdir dir;
};

TEST_F(failures, FilesAndDevicesThatCannotBeUsed) {
    writetune("resources/tune.flac");
    dir.write("notsound.flac", "these bytes are not a sound file");
    std::filesystem::create_directory("resources/folder.flac");
    audiotest::nooutput();

    FMOD::System system;
    FMOD::Sound sound;
    FMOD::Channel channel;
    ASSERT_EQ(FMOD::System_Create(&system), FMOD_OK);
    FMOD_RESULT r = system->init(1, FMOD_INIT_NORMAL, 0);
    EXPECT_EQ(r, FMOD_ERR_OUTPUT_INIT);
    EXPECT_STREQ(talvo::fmoderrortext(r), "Error initializing output device. ");

    r = system->createStream("resources/missing.flac", FMOD_LOOP_NORMAL, 0, &sound);
    EXPECT_EQ(r, FMOD_ERR_FILE_NOTFOUND);
    EXPECT_STREQ(talvo::fmoderrortext(r), "File not found. ");
    for (const char* unusable : {"resources/notsound.flac", "resources/folder.flac"}) {
        r = system->createStream(unusable, FMOD_LOOP_NORMAL, 0, &sound);
        EXPECT_EQ(r, FMOD_ERR_FORMAT) << unusable;
        EXPECT_STREQ(talvo::fmoderrortext(r), "Unsupported file or audio format. ");
    }
    EXPECT_EQ(sound->release(), FMOD_ERR_INVALID_HANDLE) << "a failed open created a stream";

    // Without a device the system still opens and "plays" streams, to nowhere.
    EXPECT_EQ(system->createStream("resources/tune.flac", FMOD_LOOP_NORMAL, 0, &sound), FMOD_OK);
    EXPECT_EQ(system->playSound(FMOD_CHANNEL_FREE, sound, false, &channel), FMOD_OK);
    EXPECT_EQ(sound->release(), FMOD_OK);
    EXPECT_EQ(system->close(), FMOD_OK);
    EXPECT_EQ(system->release(), FMOD_OK);
}

TEST_F(failures, HandlesThatWereNeverCreatedOrAreReleased) {
    writetune("resources/tune.flac");
    audiotest::nooutput();

    FMOD::System never;
    FMOD::Sound nosound;
    FMOD::Channel channel;
    FMOD_RESULT r = never->init(1, FMOD_INIT_NORMAL, 0);
    EXPECT_EQ(r, FMOD_ERR_INVALID_HANDLE);
    EXPECT_STREQ(talvo::fmoderrortext(r), invalidhandle);
    EXPECT_EQ(never->createStream("resources/tune.flac", FMOD_LOOP_NORMAL, 0, &nosound), FMOD_ERR_INVALID_HANDLE);
    EXPECT_EQ(never->playSound(FMOD_CHANNEL_FREE, nosound, false, &channel), FMOD_ERR_INVALID_HANDLE);
    EXPECT_EQ(nosound->release(), FMOD_ERR_INVALID_HANDLE);
    EXPECT_EQ(never->close(), FMOD_ERR_INVALID_HANDLE);
    EXPECT_EQ(never->release(), FMOD_ERR_INVALID_HANDLE);

    FMOD::System system;
    FMOD::Sound sound;
    ASSERT_EQ(FMOD::System_Create(&system), FMOD_OK);
    system->init(1, FMOD_INIT_NORMAL, 0);
    EXPECT_EQ(system->playSound(FMOD_CHANNEL_FREE, nosound, false, &channel), FMOD_ERR_INVALID_HANDLE);
    ASSERT_EQ(system->createStream("resources/tune.flac", FMOD_LOOP_NORMAL, 0, &sound), FMOD_OK);
    FMOD::Sound samesound = sound;
    FMOD::System samesystem = system;
    EXPECT_EQ(system->playSound(FMOD_CHANNEL_FREE, sound, false, &channel), FMOD_OK);

    // Released objects are gone for every copy of their handle. A stream outlives the
    // system that opened it and still releases cleanly.
    EXPECT_EQ(system->release(), FMOD_OK);
    EXPECT_EQ(samesystem->init(1, FMOD_INIT_NORMAL, 0), FMOD_ERR_INVALID_HANDLE);
    EXPECT_EQ(system->close(), FMOD_ERR_INVALID_HANDLE);
    EXPECT_EQ(system->release(), FMOD_ERR_INVALID_HANDLE);
    EXPECT_EQ(sound->release(), FMOD_OK);
    EXPECT_EQ(samesound->release(), FMOD_ERR_INVALID_HANDLE);
}

TEST_F(failures, CallsOutOfOrderAndAFullChannel) {
    writetune("resources/tune.flac");
    writetune("resources/other.flac");
    audiotest::nooutput();

    FMOD::System system;
    FMOD::System other;
    FMOD::Sound sound;
    FMOD::Sound second;
    FMOD::Channel channel;
    ASSERT_EQ(FMOD::System_Create(&system), FMOD_OK);
    FMOD_RESULT r = system->createStream("resources/tune.flac", FMOD_LOOP_NORMAL, 0, &sound);
    EXPECT_EQ(r, FMOD_ERR_UNINITIALIZED);
    EXPECT_STREQ(talvo::fmoderrortext(r),
                 "This command failed because System::init or System::setDriver was not called. ");
    system->init(1, FMOD_INIT_NORMAL, 0);
    r = system->init(1, FMOD_INIT_NORMAL, 0);
    EXPECT_EQ(r, FMOD_ERR_INITIALIZED);
    EXPECT_STREQ(talvo::fmoderrortext(r), "Cannot call this command after System::init. ");

    ASSERT_EQ(system->createStream("resources/tune.flac", FMOD_LOOP_NORMAL, 0, &sound), FMOD_OK);
    ASSERT_EQ(system->createStream("resources/other.flac", FMOD_LOOP_NORMAL, 0, &second), FMOD_OK);
    EXPECT_EQ(system->playSound(FMOD_CHANNEL_FREE, sound, false, &channel), FMOD_OK);
    // Playing the same stream again restarts it on its channel; another one finds none free.
    EXPECT_EQ(system->playSound(FMOD_CHANNEL_FREE, sound, false, &channel), FMOD_OK);
    r = system->playSound(FMOD_CHANNEL_FREE, second, false, &channel);
    EXPECT_EQ(r, FMOD_ERR_CHANNEL_ALLOC);
    EXPECT_STREQ(talvo::fmoderrortext(r), "Error trying to allocate a channel. ");

    // A stream plays only on the system that opened it.
    ASSERT_EQ(FMOD::System_Create(&other), FMOD_OK);
    other->init(1, FMOD_INIT_NORMAL, 0);
    EXPECT_EQ(other->playSound(FMOD_CHANNEL_FREE, second, false, &channel), FMOD_ERR_INVALID_PARAM);

    // A closed system can be initialised again; until then it plays nothing.
    EXPECT_EQ(system->close(), FMOD_OK);
    EXPECT_EQ(system->playSound(FMOD_CHANNEL_FREE, sound, false, &channel), FMOD_ERR_UNINITIALIZED);
    EXPECT_EQ(system->init(1, FMOD_INIT_NORMAL, 0), FMOD_ERR_OUTPUT_INIT);
    EXPECT_EQ(system->playSound(FMOD_CHANNEL_FREE, sound, false, &channel), FMOD_OK);
    EXPECT_EQ(sound->release(), FMOD_OK);
    EXPECT_EQ(second->release(), FMOD_OK);
    EXPECT_EQ(system->release(), FMOD_OK);
    EXPECT_EQ(other->release(), FMOD_OK);
}

TEST_F(failures, ChannelsThatEndedAndPositionsPastTheEnd) {
    writetune("resources/tune.flac");  // 0.1 s
    audiotest::nooutput();

    FMOD::System system;
    FMOD::Sound sound;
    FMOD::Channel channel;
    FMOD::Channel never;
    EXPECT_EQ(never->setPaused(true), FMOD_ERR_INVALID_HANDLE);
    EXPECT_EQ(never->setPosition(0, FMOD_TIMEUNIT_MS), FMOD_ERR_INVALID_HANDLE);

    ASSERT_EQ(FMOD::System_Create(&system), FMOD_OK);
    system->init(1, FMOD_INIT_NORMAL, 0);
    ASSERT_EQ(system->createStream("resources/tune.flac", FMOD_LOOP_NORMAL, 0, &sound), FMOD_OK);
    ASSERT_EQ(system->playSound(FMOD_CHANNEL_FREE, sound, true, &channel), FMOD_OK);
    EXPECT_EQ(channel->setPosition(100, FMOD_TIMEUNIT_MS), FMOD_OK);  // the very end
    FMOD_RESULT r = channel->setPosition(101, FMOD_TIMEUNIT_MS);
    EXPECT_EQ(r, FMOD_ERR_INVALID_POSITION);
    EXPECT_STREQ(talvo::fmoderrortext(r), "An invalid seek position was passed to this function. ");
    EXPECT_EQ(channel->setPosition(50, 0x2), FMOD_ERR_INVALID_PARAM) << "positions are taken in milliseconds only";
    EXPECT_EQ(channel->setPaused(false), FMOD_OK);

    // Played again, the stream is on a new channel: the old one has ended.
    FMOD::Channel old = channel;
    ASSERT_EQ(system->playSound(FMOD_CHANNEL_FREE, sound, false, &channel), FMOD_OK);
    EXPECT_EQ(old->setPaused(true), FMOD_ERR_INVALID_HANDLE);
    EXPECT_EQ(channel->setPaused(true), FMOD_OK);
    EXPECT_EQ(sound->release(), FMOD_OK);
    EXPECT_EQ(channel->setPosition(0, FMOD_TIMEUNIT_MS), FMOD_ERR_INVALID_HANDLE);
    EXPECT_EQ(system->release(), FMOD_OK);
    EXPECT_EQ(channel->setPaused(false), FMOD_ERR_INVALID_HANDLE);
}

// The production's own calls print exactly their check lines and go on.
class music : public failures {
protected:
    void SetUp() override {
        talvo::system = FMOD::System();
        talvo::sound = FMOD::Sound();
        talvo::channel = FMOD::Channel();
    }
    // Start-up, the update thread's start and tear-down; returns what they printed.
    std::string run(const std::string& soundfile) {
        CaptureStderr();
        talvo::openmusic(soundfile);
        talvo::playmusic(0);
        talvo::releasemusic();
        return GetCapturedStderr();
    }
};

TEST_F(music, AMissingFileIsReportedAndTheRunGoesOnSilently) {
    audiotest::diskoutput("/dev/null");
    EXPECT_EQ(run("resources/sound.flac"),
              "at system->createStream(soundfile.c_str(), FMOD_HARDWARE | FMOD_LOOP_NORMAL | FMOD_2D, 0, "
              "&sound) | FMODERROR: File not found. \n"
              "resources/sound.flac: not found: the production plays without music\n"
              "at system->playSound(FMOD_CHANNEL_FREE, sound, false, &channel) | FMODERROR: "
              "An invalid object handle was used. \n"
              "at sound->release() | FMODERROR: An invalid object handle was used. \n");
}

TEST_F(music, AMissingFileStartedLateReportsEachCallAndAMutedRunNoneAtAll) {
    audiotest::diskoutput("/dev/null");
    CaptureStderr();
    talvo::openmusic("resources/sound.flac");
    talvo::playmusic(100000);
    talvo::pausemusic();
    talvo::releasemusic();
    EXPECT_EQ(GetCapturedStderr(),
              "at system->createStream(soundfile.c_str(), FMOD_HARDWARE | FMOD_LOOP_NORMAL | FMOD_2D, 0, "
              "&sound) | FMODERROR: File not found. \n"
              "resources/sound.flac: not found: the production plays without music\n"
              "at system->playSound(FMOD_CHANNEL_FREE, sound, true, &channel) | FMODERROR: "
              "An invalid object handle was used. \n"
              "at channel->setPosition(from, FMOD_TIMEUNIT_MS) | FMODERROR: An invalid object handle was used. \n"
              "at channel->setPaused(false) | FMODERROR: An invalid object handle was used. \n"
              "at channel->setPaused(true) | FMODERROR: An invalid object handle was used. \n"
              "at sound->release() | FMODERROR: An invalid object handle was used. \n");

    // Never opened: the rest does nothing, and says nothing.
    CaptureStderr();
    talvo::playmusic(0);
    talvo::pausemusic();
    talvo::releasemusic();
    EXPECT_EQ(GetCapturedStderr(), "");
}

TEST_F(music, WithoutASoundDeviceOneLineIsPrintedAndNothingElse) {
    writetune("resources/sound.flac");
    // ALSA with a device that does not exist: alsa-lib's own complaints must not get out.
    setenv("SDL_AUDIODRIVER", "alsa", 1);
    setenv("AUDIODEV", "quellspire-no-such-device", 1);
    const std::string printed = run("resources/sound.flac");
    unsetenv("AUDIODEV");
    EXPECT_EQ(printed,
              "at system->init(1, FMOD_INIT_NORMAL, 0) | FMODERROR: Error initializing output device. \n");
}

}  // namespace
