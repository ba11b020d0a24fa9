// Prints the production's schedule for scripts: one line per scene in play order, its name,
// its start in seconds and "nested" for a scene drawn inside the one before it, then "end"
// and the production's end in seconds (build/tools/scenetimes; tools/build.sh builds it).
#include <cstdio>

#include "scenes/schedule.h"

int main() {
    for (const talvo::schedule::entry& e : talvo::schedule::scenes)
        std::printf("%s %g%s\n", e.name, e.start / 1000.0, e.nested ? " nested" : "");
    std::printf("end %g\n", talvo::schedule::endtime / 1000.0);
}
