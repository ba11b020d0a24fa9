#include "bench/support/benchmain.h"

#include <epoxy/gl.h>
#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>

#include "diag/exceptions.h"
#include "platform/contexts.h"

namespace talvo::bench {

namespace {

// A whole number above zero, written out in full.
bool positive(const char* begin, const char* end, int& value) {
    int parsed = 0;
    const auto [stop, fault] = std::from_chars(begin, end, parsed);
    if (fault != std::errc() || stop != end || parsed <= 0) return false;
    value = parsed;
    return true;
}

bool read(int argc, char** argv, arguments takes, benchargs& args) {
    const int most = takes == arguments::sizeandsteps ? 2 : 1;
    if (argc - 1 > most) return false;
    int next = 1;
    if (takes == arguments::sizeandsteps && next < argc) {
        const char* text = argv[next++];
        const char* x = std::strchr(text, 'x');
        if (!x || !positive(text, x, args.width) || !positive(x + 1, text + std::strlen(text), args.height))
            return false;
    }
    if (next < argc && !positive(argv[next], argv[next] + std::strlen(argv[next]), args.steps)) return false;
    return true;
}

}  // namespace

int benchmain(int argc, char** argv, arguments takes, benchargs defaults,
              const std::function<void(const benchargs&)>& body) {
    const std::string name = std::filesystem::path(argv[0]).filename().string();
    const std::string usage =
        "usage: " + name + (takes == arguments::sizeandsteps ? " [WxH [steps]]\n" : " [steps]\n");
    if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(usage.c_str(), stdout);
        return 0;
    }
    benchargs args = defaults;
    if (!read(argc, argv, takes, args)) {
        std::fputs(usage.c_str(), stderr);
        return 2;
    }
    if (!glfwInit()) {
        std::fprintf(stderr, "glfwInit failed (no display?)\n");
        return 1;
    }
    GLFWwindow* window = platform::createhiddencontext(args.width, args.height, name.c_str(), nullptr);
    if (!window) {
        std::fprintf(stderr, "no GL 3.3 core context\n");
        glfwTerminate();
        return 1;
    }
    glfwMakeContextCurrent(window);
    int status = 0;
    try {
        body(args);
    } catch (const Log::CLException&) {
        status = 1;
    } catch (const Log::GLException&) {
        status = 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        status = 1;
    }
    glfwDestroyWindow(window);
    glfwTerminate();
    return status;
}

}  // namespace talvo::bench
