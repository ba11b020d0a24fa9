#pragma once
// The audio library the production streams its music through: SDL2 plays, libsndfile
// decodes. Its calls keep the library's familiar shape (FMOD::System_Create(&system),
// system->init(...), ...) so that every call site, and the call text its check prints,
// reads the same as the call itself.
//
// Handles are small copyable references. A handle that was never created, or whose object
// has been released, is safe to call: every call then answers FMOD_ERR_INVALID_HANDLE and
// does nothing else. Results are the numeric codes of diag/fmod-errors.tsv.
//
// The calls of one system are made one at a time (from any thread); playback itself runs on
// SDL's audio thread and needs no periodic calls.
#include <memory>

// The result codes these calls return; fmoderrortext() gives their descriptions.
enum FMOD_RESULT : int {
    FMOD_OK = 0,
    FMOD_ERR_CHANNEL_ALLOC = 10,
    FMOD_ERR_FILE_COULDNOTSEEK = 20,
    FMOD_ERR_FILE_EOF = 22,
    FMOD_ERR_FILE_NOTFOUND = 23,
    FMOD_ERR_FORMAT = 25,
    FMOD_ERR_INITIALIZED = 32,
    FMOD_ERR_INVALID_HANDLE = 36,
    FMOD_ERR_INVALID_PARAM = 37,
    FMOD_ERR_INVALID_POSITION = 38,
    FMOD_ERR_OUTPUT_INIT = 62,
    FMOD_ERR_UNINITIALIZED = 81,
};

typedef unsigned int FMOD_INITFLAGS;
constexpr FMOD_INITFLAGS FMOD_INIT_NORMAL = 0x0;

// Stream modes. Only FMOD_LOOP_NORMAL changes anything: without it a stream plays once.
// FMOD_HARDWARE and FMOD_2D are accepted as they are: mixing is always done in software,
// without positioning.
typedef unsigned int FMOD_MODE;
constexpr FMOD_MODE FMOD_LOOP_NORMAL = 0x02;
constexpr FMOD_MODE FMOD_2D = 0x08;
constexpr FMOD_MODE FMOD_HARDWARE = 0x20;

enum FMOD_CHANNELINDEX : int {
    FMOD_CHANNEL_FREE = -1,  // play on any channel that is not in use
};

// Units of a playback position. Positions are given in milliseconds.
typedef unsigned int FMOD_TIMEUNIT;
constexpr FMOD_TIMEUNIT FMOD_TIMEUNIT_MS = 0x1;

// Extended stream information is not taken: createStream expects a null pointer.
struct FMOD_CREATESOUNDEXINFO;

namespace FMOD {

namespace detail {
struct mixer;
struct stream;
struct voice;
}  // namespace detail

class System;
class Sound;
class Channel;

// Creates a system object; it makes no sound until init.
FMOD_RESULT System_Create(System* system);

class System {
public:
    // Lets call sites read "system->init(...)" on the handle itself.
    System* operator->() { return this; }
    // True from System_Create until release, as the library's pointer is non-null.
    explicit operator bool() const { return mixer != nullptr; }

    // Opens the output device (SDL's default, or the driver named by SDL_AUDIODRIVER) and
    // makes room for maxchannels simultaneous channels. Without a usable device the result
    // is FMOD_ERR_OUTPUT_INIT and the system stays usable, silently: streams open and
    // "play" to nowhere. extradriverdata is ignored.
    FMOD_RESULT init(int maxchannels, FMOD_INITFLAGS flags, void* extradriverdata);
    // Opens a file for streaming: only its header and its last frame are read here (a file
    // cut short is FMOD_ERR_FILE_EOF), the samples are decoded while it plays.
    FMOD_RESULT createStream(const char* name, FMOD_MODE mode, FMOD_CREATESOUNDEXINFO* exinfo,
                             Sound* sound);
    // Starts a stream from its first sample at once (unless paused) and returns at once.
    // A stream plays on one channel at a time: playing it again restarts it.
    FMOD_RESULT playSound(FMOD_CHANNELINDEX channelid, Sound sound, bool paused,
                          Channel* channel);
    // Stops all playback and closes the device; init may be called again.
    FMOD_RESULT close();
    // Closes and frees the system; the handle and its copies become invalid.
    FMOD_RESULT release();

private:
    friend FMOD_RESULT System_Create(System* system);
    std::shared_ptr<detail::mixer> mixer;
};

class Sound {
public:
    Sound* operator->() { return this; }

    // Stops the stream wherever it plays and closes its file.
    FMOD_RESULT release();

private:
    friend class System;
    std::shared_ptr<detail::stream> stream;
};

// The channel a stream plays on; it ends when its stream ends (without looping), is released,
// is played again or its system is closed. Calls on a channel that has ended answer
// FMOD_ERR_INVALID_HANDLE.
class Channel {
public:
    Channel* operator->() { return this; }

    // Holds or resumes playback where it stands. A stream started paused can first be moved
    // with setPosition, so that its first audible sample is the one asked for.
    FMOD_RESULT setPaused(bool paused);
    // Moves playback to `position` (FMOD_TIMEUNIT_MS: milliseconds from the start of the
    // stream, the frame at or before it at the file's rate): decoding goes on from there, with
    // nothing of the old place left in between. FMOD_ERR_INVALID_POSITION past the stream's end.
    FMOD_RESULT setPosition(unsigned int position, FMOD_TIMEUNIT postype);

private:
    friend class System;
    std::shared_ptr<detail::voice> voice;
};

}  // namespace FMOD
