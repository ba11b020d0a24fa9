#pragma once
// Maker mode (--make): the keys a maker uses while the production plays. Space holds and
// resumes picture and music together, Left and Right seek 5 s, Page Up and Page Down go to the
// previous or next scene's start, Home to 0, '.' runs one 25 ms step while held, F1 shows the
// overlay, F12 saves the shown frame as a PNG. Everything here runs on the render thread.
//
// A seek means what --from means: the pass ends and the production is built afresh from the
// new time (the scenes are made to be entered once), so the picture is the one a capture
// started there shows, and the music starts there sample-exact.
//
// Shaders and snippets saved in resources/ are rebuilt at the next frame, between update
// passes, into every program and kernel built from them; one that does not build keeps the
// old code, says why on standard error and stays on the picture in red until a good save.
#include <cstdint>
#include <optional>

namespace talvo {

class demostart;

// Turns maker mode on for the run: installs the key callback on the window and the clock that
// holds while the run is held. Call once, after the window is open.
void startmaking();
// True once startmaking has been called.
bool making();
// True while Space holds the run.
bool held();

// The production of the pass about to play, for its scenes' starts and the scene shown.
void makepass(demostart& production);
// After the pass's clock has started at `from`: a held run shows the moment `from` at once,
// as a capture started there shows it in its first frame.
void clockstarted(uint32_t from);
// At the frame's hand-over, before its sync: the keys tapped since the last frame take effect.
// A seek sets quit and is kept for takeseek; the keys after it wait for the next pass.
void applykeys();
// After a sync that draws nothing, before the frame's time stamp is taken.
void notdrawn();
// Around the frame's display, before it is shown: afterdisplay saves it if F12 asked for it,
// then draws the overlay over it when it is on.
void beforedisplay();
void afterdisplay();
// The time a seek asked for, once; nothing when the pass ended otherwise.
std::optional<uint32_t> takeseek();
// Drops the overlay's GL objects; before the window closes.
void stopmaking();

}  // namespace talvo
