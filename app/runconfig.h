#pragma once
// The run configuration: what the command line sets and the fixed rest.
#include <string>

namespace talvo {

struct runconfig {
    std::string title = "Quellspire";
    int windowmode = 1;  // 0 windowed; 1 full screen at width x height; 2 full screen at desktop size
    int width = 1280;
    int height = 720;
    int samples = 0;  // multisample count of the window's default framebuffer
    bool vsync = true;
    int glmajor = 3;
    int glminor = 3;
    std::string soundfile = "sound.flac";  // prefixed with "resources/" at start-up
};

// Reads width and height from the first two arguments when there are at least two, and the
// sample count from the third when there are three. An argument that does not start with an
// integer keeps its default; "800px" reads as 800.
runconfig parsecommandline(int argc, const char* const argv[]);

}  // namespace talvo
