#pragma once
// The production's music: one stream opened at start-up, started on the update thread
// together with the production clock, released at the very end. Every call is followed by
// its check; a failure only prints, and the production goes on silently if need be: nothing
// here ends the process. A muted run never opens it: the other calls then do nothing.
#include <cstdint>
#include <string>

#include "platform/audio/fmod.h"

namespace talvo {

// The audio handles; empty until openmusic creates them, and again after releasemusic.
extern FMOD::System system;
extern FMOD::Sound sound;
extern FMOD::Channel channel;

// Creates and initialises the audio system and opens soundfile as a looping stream. A file
// that cannot be streamed is named, after its check line, in one line that says why.
void openmusic(const std::string& soundfile);
// Starts the stream `from` milliseconds in (on the update thread, before its first step); held
// there, silent, when `paused`.
void playmusic(uint32_t from, bool paused = false);
// Holds the music where it stands, silent until it is played again.
void pausemusic();
// Plays a held stream on from `at` milliseconds in.
void resumemusic(uint32_t at);
// Releases the stream, then closes and releases the system.
void releasemusic();

}  // namespace talvo
