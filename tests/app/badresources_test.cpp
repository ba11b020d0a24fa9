// Resource files that are there but spoilt, as a user may leave them: each failure keeps the
// lines the interface prescribes and adds one that names the file. Both programs are started
// as a user would, on a copy of the build's working directory whose resources/ has one file
// spoilt (the real resources/ is never written).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/builddir.h"
#include "support/files.h"
#include "support/process.h"

using namespace std::chrono_literals;
using namespace talvo::testsupport;
namespace fs = std::filesystem;

namespace {


// fifo: no file but a FIFO, whose open would wait for a writer that never comes.
enum class spoilt { truncated, text, garbage, syntaxerror, empty, fifo };

// The bytes of a file spoilt from `original`.
std::string spoil(const std::string& original, spoilt how) {
    switch (how) {
        case spoilt::truncated: return original.substr(0, original.size() / 2);
        case spoilt::text: return "These bytes are a line of text.\n";
        case spoilt::garbage: {
            // No NUL, which would end a source text early.
            std::string bytes(4096, '\0');
            for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = char(1 + ((i * 2654435761u) >> 13) % 255);
            return bytes;
        }
        // Line 2: after a first line that is a comment or the GLSL version.
        case spoilt::syntaxerror: {
            const size_t second = original.find('\n') + 1;
            return original.substr(0, second) + "float broken = ;\n" + original.substr(second);
        }
        case spoilt::empty:
        case spoilt::fifo: return "";
    }
    return original;
}

// A working directory like the build's, with resources/<name> spoilt: the entry of resources/
// that holds it is made anew, the rest links to the build's.
std::string spoiltworkdir(const tempdir& dir, const std::string& name, spoilt how) {
    const std::string top = name.substr(0, name.find('/'));
    const std::string workdir = workdirwithout(dir.path() / "run", builddir, {top});
    const fs::path file = fs::path(workdir) / "resources" / name;
    fs::create_directories(file.parent_path());
    if (how == spoilt::fifo)
        mkfifo(file.c_str(), 0666);
    else
        std::ofstream(file, std::ios::binary) << spoil(slurp(fs::path(builddir) / "resources" / name), how);
    return workdir;
}

}  // namespace

TEST(BadResources, EachFailureNamesItsFile) {
    const std::string compile = "at clBuildProgram(*_program, 0,0, \"\", 0,0); | CLERROR: Program build failure";
    const std::string font = "at FT_New_Face(context->lib(), name.c_str(), 0, face) | FTERROR: 2";
    const std::string stream = "at system->createStream(soundfile.c_str(), FMOD_HARDWARE | FMOD_LOOP_NORMAL | FMOD_2D, "
                               "0, &sound) | FMODERROR: ";
    const struct {
        std::string name;
        spoilt how;
        std::string line;  // names the file, on standard error of both programs
        std::string kept;  // what the interface prescribes, still printed by the player
        // The music: the player plays on without it (status 0), the capture refuses it before
        // it opens a window, each with a line of its own.
        std::string captureline = "";
    } cases[] = {
        {"hdr.frag", spoilt::syntaxerror, "resources/hdr.frag: does not compile (line 2)\n", "Shader compilation failed."},
        {"hdr.frag", spoilt::fifo, "Unable to open file resources/hdr.frag\n", "Unable to open file resources/hdr.frag\n"},
        {"flight.slcl", spoilt::syntaxerror, "resources/flight.slcl: does not compile (line 2)\n", compile},
        // A prefix, pasted before the kernels.
        {"tools.slcl", spoilt::syntaxerror, "resources/tools.slcl: does not compile (line 2)\n", compile},
        {"particles.cl", spoilt::garbage, "resources/particles.cl: does not compile (line", compile},
        {"dreamscape.slcl", spoilt::empty, "resources/dreamscape.slcl: the snippet is empty\n",
         "file resources/dreamscape.slcl loaded"},
        {"exmouth/exmouth_.ttf", spoilt::truncated,
         "resources/exmouth/exmouth_.ttf: FreeType cannot read the font (unknown file format)\n", font},
        {"sound.flac", spoilt::truncated, "resources/sound.flac: truncated: the production plays without music\n",
         stream + "End of file unexpectedly reached",
         "quellspire-capture: resources/sound.flac: truncated: the video needs its music whole\n"},
        {"sound.flac", spoilt::text,
         "resources/sound.flac: not a sound file that can be played: the production plays without music\n",
         stream + "Unsupported file or audio format.",
         "quellspire-capture: resources/sound.flac: not a sound file that can be played: the video needs its music "
         "whole\n"},
        {"sound.flac", spoilt::fifo,
         "resources/sound.flac: not a sound file that can be played: the production plays without music\n",
         stream + "Unsupported file or audio format.",
         "quellspire-capture: resources/sound.flac: not a sound file that can be played: the video needs its music "
         "whole\n"},
    };
    for (const auto& c : cases) {
        const tempdir dir;
        const std::string workdir = spoiltworkdir(dir, c.name, c.how);
        const bool music = !c.captureline.empty();

        process player(QUELLSPIRE, {"--windowed", "--from", "193.5", "64", "48"}, workdir,
                       {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=/dev/null"});
        EXPECT_EQ(player.wait(120s), music ? 0 : 1) << c.name << "\n" << player.stderr_();
        EXPECT_NE(player.stderr_().find(c.line), std::string::npos) << c.name << "\n" << player.stderr_();
        EXPECT_NE((player.stdout_() + player.stderr_()).find(c.kept), std::string::npos)
            << c.name << "\n" << player.stdout_() << player.stderr_();

        process capture(QUELLSPIRE_CAPTURE, {"--size", "64x48", "--from", "193.5", "--frames", "2", "-o", dir / "out.mp4"},
                        workdir);
        EXPECT_EQ(capture.wait(120s), 1) << c.name << "\n" << capture.stderr_();
        EXPECT_NE(capture.stderr_().find(music ? c.captureline : c.line), std::string::npos)
            << c.name << "\n" << capture.stderr_();
        if (music) {
            EXPECT_EQ(capture.stdout_(), "") << "a window was opened";
        }
    }
}
