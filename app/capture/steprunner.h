#pragma once
// Where a capture runs each frame's update steps. Overlapped, as the real loop's update thread
// does: on a thread of their own with the secondary context current, so that the steps that
// lead to the next frame run while the render thread displays, reads back and writes out the
// frame just synced. Serial: on the calling thread, switching to the secondary context and
// back, one frame after the other; slower, kept to check the overlapped capture against.
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace talvo::capture {

class steprunner {
public:
    // Overlapped: starts the thread. Throws capturefailure if it cannot be started.
    explicit steprunner(bool overlapped);
    // Waits for steps still running (their failure is dropped: the capture is ending anyway),
    // then ends the thread.
    ~steprunner();
    steprunner(const steprunner&) = delete;
    steprunner& operator=(const steprunner&) = delete;

    // Hands over a frame's steps, one batch at a time: they run on the secondary context and
    // end with glFinish, so that the render context may use what they wrote. Overlapped, they
    // start at once; serial, in finish().
    void begin(std::function<void()> steps);
    // Returns once the steps handed over have run (at once if there are none); rethrows what
    // they threw, so that a failed check ends the capture as it would on the render thread.
    void finish();

private:
    void serve();
    // Runs the batch on the current (secondary) context, keeping what it throws.
    void run();

    const bool overlapped;
    std::mutex lock;
    std::condition_variable changed;
    std::function<void()> batch;
    bool pending = false;  // a batch handed over that has not finished
    bool stopping = false;
    std::exception_ptr failure;
    std::thread thread;
};

}  // namespace talvo::capture
