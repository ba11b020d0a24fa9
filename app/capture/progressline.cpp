#include "app/capture/progressline.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>

namespace talvo::capture {

namespace {
// How often the line is redrawn on a terminal, and printed anew elsewhere.
constexpr auto terminalinterval = std::chrono::milliseconds(100);
constexpr auto loginterval = std::chrono::seconds(5);

std::string clocktext(double seconds) {
    long total = std::lround(seconds);
    char text[32];
    if (total >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    return text;
}
}  // namespace

progressline::progressline(int64_t total, std::string prefix, std::string verb)
    : total(total), prefix(std::move(prefix)), verb(std::move(verb)), terminal(isatty(2)) {}

void progressline::update(int64_t done, const std::string& scene, uint32_t moment) {
    clock::time_point now = clock::now();
    if (anyshown && done != total && now - shown < (terminal ? terminalinterval : loginterval)) return;
    shown = now;
    anyshown = true;
    const double seconds = std::chrono::duration<double>(now - start).count();
    const double fps = seconds > 0 ? done / seconds : 0.0;
    char head[128];
    std::snprintf(head, sizeof head, "frame %lld of %lld (%s %u.%03u s), %.1f fps", static_cast<long long>(done),
                  static_cast<long long>(total), scene.c_str(), moment / 1000, moment % 1000, fps);
    std::string line = prefix + head;
    if (fps > 0) line += ", " + clocktext(static_cast<double>(total - done) / fps) + " left";
    std::fprintf(stderr, terminal ? "\r%s\033[K" : "%s\n", line.c_str());
}

void progressline::finish(int64_t done) {
    double seconds = std::chrono::duration<double>(clock::now() - start).count();
    if (terminal && anyshown) std::fputc('\n', stderr);
    std::fprintf(stderr, "%s %lld frame%s in %s (%.2f fps)\n", verb.c_str(), static_cast<long long>(done),
                 done == 1 ? "" : "s", clocktext(seconds).c_str(), seconds > 0 ? done / seconds : 0.0);
}

}  // namespace talvo::capture
