#pragma once
// The update thread that the player and the capture share. The render thread hands it one
// update pass per frame, right after the frame's sync, and waits for that pass before the next
// sync: so `update` and `sync` never overlap, while the pass runs as the frame is displayed.
// Whatever the render thread wrote before handing a pass over (clocks, window size, what sync
// published), the pass sees; whatever the pass wrote, the render thread sees once finish()
// has returned.
//
// Overlapped (the player, and the capture by default): passes run on a thread of their own
// with the secondary context current. Serial (the capture's check): passes run on the
// calling thread in finish(), switching to the secondary context and back; slower, and
// byte-identical in what it makes.
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace talvo {

class updatethread {
public:
    // Thrown by the constructor when the thread cannot be started; says why.
    struct nothread : std::runtime_error {
        using std::runtime_error::runtime_error;
    };

    // Overlapped: starts the thread; throws nothread if it cannot be started.
    explicit updatethread(bool overlapped = true);
    // Waits for a pass still running (its failure is dropped: the run is ending anyway), then
    // ends the thread.
    ~updatethread();
    updatethread(const updatethread&) = delete;
    updatethread& operator=(const updatethread&) = delete;

    // Hands over the next pass. It ends with glFinish, so that the render context may use what
    // it wrote. Overlapped, it starts at once; serial, in finish().
    void begin(std::function<void()> pass);
    // Returns once the pass handed over has run (at once if there is none); rethrows what it
    // threw, so that a failed check on the update context ends the run on the render thread.
    void finish();

private:
    void serve();
    // Runs the pass on the current (secondary) context, keeping what it throws.
    void run();

    const bool overlapped;
    std::mutex lock;
    std::condition_variable changed;
    std::function<void()> pass;
    bool pending = false;  // a pass handed over that has not finished
    bool stopping = false;
    std::exception_ptr failure;
    std::thread thread;
};

}  // namespace talvo
