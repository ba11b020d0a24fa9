#pragma once
// SIGINT, SIGTERM and SIGQUIT end a playing run as Escape does: the handler only records the signal, and
// the render loop reads it once a frame, so the run winds down on its own thread (update thread
// joined, scenes left, music released) and the process then ends by that signal. Outside the loop the signals keep their default action and end the process at
// once, which is what a run that is still starting up or already ending wants.
namespace talvo {

// Between construction and destruction, a stop signal is recorded instead of ending the
// process; a second one while the first waits for the loop ends it at once, for a viewer whose
// first Ctrl-C seemed to do nothing.
class stopsignals {
public:
    stopsignals();
    ~stopsignals();
    stopsignals(const stopsignals&) = delete;
    stopsignals& operator=(const stopsignals&) = delete;
};

// The signal that asked the run to end, or 0.
int stopsignal();

}  // namespace talvo
