// The programs installed as a user installs them: into a prefix with cmake --install, and as
// the Debian package, unpacked into a throwaway root. Each finds its resources beside its own
// directory, from wherever it is started.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "capture/runs.h"
#include "quellspire_version.h"

using namespace talvo::testsupport;
namespace fs = std::filesystem;

namespace {

const std::vector<std::string> programs = {"quellspire", "quellspire-capture", "quellspire-join",
                                           "quellspire-capture-parallel"};

// One still of flight, from the working directory `workdir`.
std::string still(const std::string& program, const std::string& workdir, const tempdir& dir, const std::string& name) {
    const fs::path pattern = dir.path() / (name + "%d.png");
    outcome run = runprogram(program, {"--from", "136", "--frames", "1", "--size", "160x90", "-o", pattern}, workdir);
    EXPECT_EQ(run.status, 0) << run.err;
    return slurp(dir.path() / (name + "0.png"));
}

}  // namespace

TEST(Install, ProgramsRunFromAnywhereWithTheirOwnResources) {
    // A copy or move of the tree reads its own resources, not the old tree's.
    EXPECT_TRUE(fs::read_symlink(fs::path(builddir) / "resources").is_relative());

    const tempdir dir;
    const shelloutput install = shell("'" CMAKE_COMMAND "' --install '" + builddir + "' --prefix '" + dir / "usr" + "' 2>&1");
    ASSERT_EQ(install.status, 0) << install.out;
    const std::string reference = still(captureprogram, builddir, dir, "build");
    ASSERT_FALSE(reference.empty());
    EXPECT_EQ(still(captureprogram, "/", dir, "buildfromroot"), reference);
    EXPECT_EQ(still(dir / "usr/bin/quellspire-capture", "/", dir, "installed"), reference);

    for (const std::string& program : programs) {
        outcome version = runprogram(fs::path(dir / "usr/bin") / program, {"--version"}, "/");
        EXPECT_EQ(version.status, 0) << version.err;
        EXPECT_EQ(version.out, program + " " QUELLSPIRE_VERSION "\n");
        EXPECT_TRUE(fs::is_regular_file(fs::path(dir / "usr/share/man/man1") / (program + ".1.gz"))) << program;
    }
    // The installed runner finds its programs and its display script beside it.
    outcome parts = runprogram(dir / "usr/bin/quellspire-capture-parallel",
                               {"-j", "2", "--", "--size", "64x48", "--fps", "10", "--from", "136", "--frames", "4",
                                "-o", dir / "parts.mp4"},
                               "/", {"DISPLAY"});
    EXPECT_EQ(parts.status, 0) << parts.err;
    EXPECT_EQ(probe(dir / "parts.mp4", "v:0", "nb_read_frames"), "4");
    EXPECT_TRUE(fs::is_regular_file(dir / "usr/share/quellspire/sound.flac"));
    EXPECT_TRUE(fs::is_regular_file(dir / "usr/share/quellspire/exmouth/LICENSE"));
    EXPECT_TRUE(fs::is_regular_file(dir / "usr/share/icons/hicolor/256x256/apps/quellspire.png"));
    const shelloutput entry = shell("desktop-file-validate '" + dir / "usr/share/applications/quellspire.desktop" + "' 2>&1");
    EXPECT_EQ(entry.status, 0) << entry.out;
    // help2man puts a program's second usage line in SYNOPSIS only when it reads "or:".
    const shelloutput page = shell("zcat '" + dir / "usr/share/man/man1/quellspire-capture.1.gz" + "'");
    const std::string synopsis = page.out.substr(0, page.out.find(".SH DESCRIPTION"));
    EXPECT_NE(synopsis.find(".br\n.B quellspire-capture\n"), std::string::npos) << synopsis;
}

TEST(Install, DebianPackageUnpacksAndAnswersHelpWithoutLintianErrorsOrWarnings) {
    const tempdir dir;
    const shelloutput pack = shell("'" CPACK_COMMAND "' --config '" + builddir + "/CPackConfig.cmake' -B '" +
                                   dir / "pack" + "' 2>&1");
    ASSERT_EQ(pack.status, 0) << pack.out;
    const fs::path deb = dir.path() / "pack" / ("quellspire_" QUELLSPIRE_VERSION "_amd64.deb");
    ASSERT_TRUE(fs::is_regular_file(deb)) << pack.out;

    // Its dependencies are dpkg-shlibdeps' list of the libraries the programs link.
    EXPECT_NE(shell("dpkg-deb -f '" + deb.string() + "' Depends").out.find("libglfw3"), std::string::npos);
    const shelloutput lint = shell("lintian --fail-on error,warning '" + deb.string() + "' 2>&1");
    EXPECT_EQ(lint.status, 0) << lint.out;

    ASSERT_EQ(shell("dpkg -x '" + deb.string() + "' '" + dir / "root" + "'").status, 0);
    for (const std::string& program : programs) {
        outcome help = runprogram(fs::path(dir / "root/usr/bin") / program, {"--help"}, "/");
        EXPECT_EQ(help.status, 0) << program << ": " << help.err;
        EXPECT_EQ(help.out.rfind("Usage: " + program, 0), 0u) << help.out;
    }
}
