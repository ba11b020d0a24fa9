#include "app/capture/progressline.h"

#include <unistd.h>

#include <cmath>

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

progressline::progressline(int64_t total, FILE* out, std::string prefix, std::string verb)
    : total(total), out(out), prefix(std::move(prefix)), verb(std::move(verb)), terminal(isatty(fileno(out))) {}

std::string progressline::text(int64_t done, int64_t total, const std::string& scene, uint32_t moment, double fps) {
    char head[128];
    std::snprintf(head, sizeof head, "frame %lld of %lld (%s %u.%03u s), %.1f fps", static_cast<long long>(done),
                  static_cast<long long>(total), scene.c_str(), moment / 1000, moment % 1000, fps);
    std::string line = head;
    if (fps > 0) line += ", " + clocktext(static_cast<double>(total - done) / fps) + " left";
    return line;
}

void progressline::update(int64_t done, const std::string& scene, uint32_t moment) {
    clock::time_point now = clock::now();
    bool last = done == total;
    if (anyshown && !last && now - shown < (terminal ? terminalinterval : loginterval)) return;
    shown = now;
    anyshown = true;
    double seconds = std::chrono::duration<double>(now - start).count();
    std::string line = prefix + text(done, total, scene, moment, seconds > 0 ? done / seconds : 0.0);
    if (terminal)
        std::fprintf(out, "\r%s\033[K", line.c_str());
    else
        std::fprintf(out, "%s\n", line.c_str());
    std::fflush(out);
}

void progressline::finish(int64_t done) {
    double seconds = std::chrono::duration<double>(clock::now() - start).count();
    if (terminal && anyshown) std::fputc('\n', out);
    std::fprintf(out, "%s %lld frame%s in %s (%.2f fps)\n", verb.c_str(), static_cast<long long>(done), done == 1 ? "" : "s",
                 clocktext(seconds).c_str(), seconds > 0 ? done / seconds : 0.0);
    std::fflush(out);
}

}  // namespace talvo::capture
