#pragma once
// A virtual X display of a test's own (Xvfb on the first free display number), so that a test
// can close a window on it or take the whole display away without touching anything else.
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "support/process.h"

namespace talvo::testsupport {

class xdisplay {
public:
    explicit xdisplay(const std::string& size = "640x480") : number(freenumber()) {
        server = std::make_unique<process>("/usr/bin/Xvfb",
                                           std::vector<std::string>{name(), "-screen", "0", size + "x24", "-nolisten", "tcp"},
                                           "/");
        for (int i = 0; i < 200 && !std::filesystem::exists(socket()); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    xdisplay(const xdisplay&) = delete;
    xdisplay& operator=(const xdisplay&) = delete;

    // ":N", for DISPLAY.
    std::string name() const { return ":" + std::to_string(number); }
    bool ready() const { return std::filesystem::exists(socket()); }
    // Takes the display away from every client, as a crashed or stopped X server does.
    void stop() { server.reset(); }

private:
    static int freenumber() {
        int n = 120;
        while (std::filesystem::exists("/tmp/.X" + std::to_string(n) + "-lock") ||
               std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(n)))
            ++n;
        return n;
    }
    std::string socket() const { return "/tmp/.X11-unix/X" + std::to_string(number); }

    int number;
    std::unique_ptr<process> server;
};

}  // namespace talvo::testsupport
