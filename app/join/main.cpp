// quellspire-join: the video segments of a capture's parts joined into one video, with the
// music of the whole range. It opens no window: ffprobe checks the segments and ffmpeg joins
// them.
#include <algorithm>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "app/capture/framesink.h"
#include "app/capture/options.h"
#include "app/capture/outputfile.h"
#include "app/capture/runend.h"
#include "app/join/segmentjoin.h"
#include "app/standardstreams.h"
#include "app/version.h"

namespace {

const char* const joinhelp = R"(Usage: quellspire-join OUT SEGMENTS...

Joins the video segments of a capture's parts (quellspire-capture --part K/N -o SEGMENT.mp4),
given in any order, into OUT (.mp4 or .mkv) without encoding them again, and adds the music of
the whole range from sound.flac, found where quellspire-capture finds it. It checks first that
the segments are every part of one capture, once and complete, each holding what its label
says; at --crf 0 the joined video holds the whole capture's frames exactly. What needs no
probe comes first: a file given twice, and the labels, read from each file's head and checked
against each other, so that a refusal costs no more than the parts of one capture. OUT is
written under a temporary name beside it and takes its name once complete; the join starts by
removing, and naming, such files in OUT's directory whose process has ended without removing
them.

  -h, --help     this text
      --version  the program's name and version

Exit status: 0 done; 1 ffprobe, ffmpeg or the music failed; 2 bad arguments or segments that
are not every part of one capture. SIGINT, SIGTERM or SIGHUP end it with "interrupted" and by
that signal (status 130, 143 or 129).
)";

}  // namespace

int main(int argc, char* argv[]) {
    using namespace talvo::capture;
    talvo::openstandardstreams();
    if (talvo::answersversion(argc, argv, "quellspire-join")) return 0;
    std::vector<std::string> args(argv + 1, argv + argc);
    // Started by `quellspire-capture --join`, which has read the arguments, it speaks as that.
    const bool forcapture = !args.empty() && args.front() == "--join";
    if (forcapture) args.erase(args.begin());
    nameprogram(forcapture ? "quellspire-capture" : "quellspire-join");
    try {
        catchstops();
    } catch (const capturefailure& e) {
        return failure(e.what());
    }
    if (std::any_of(args.begin(), args.end(), [](const std::string& a) { return a == "-h" || a == "--help"; })) {
        std::cout << joinhelp;
        return 0;
    }
    captureoptions options;
    try {
        options = parsejoin(args, forcapture ? "--join" : "");
    } catch (const badoption& e) {
        return failure(std::string(e.what()) + "\nTry '" + programname() + " --help'.", 2);
    }
    for (const std::string& removed : removeleftovers(std::filesystem::path(options.output).parent_path().string()))
        std::cerr << programname() << ": removed " << removed << ", left unfinished by a run that has ended" << std::endl;
    return runjoin(options);
}
