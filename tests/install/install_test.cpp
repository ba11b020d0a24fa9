// The programs installed as a user installs them: into a prefix with cmake --install, and as
// the Debian packages, unpacked into a throwaway root. Each finds its resources beside its own
// directory, from wherever it is started.
#include <gtest/gtest.h>
#include <png.h>

#include <filesystem>
#include <fstream>
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

// cmake --install into `prefix`. It writes the build directory's install_manifest.txt, a
// user's record of their own install, which is put back as it was.
shelloutput install(const std::string& prefix) {
    const fs::path manifest = fs::path(builddir) / "install_manifest.txt";
    const bool had = fs::exists(manifest);
    const std::string kept = slurp(manifest);
    const shelloutput run = shell("'" CMAKE_COMMAND "' --install '" + builddir + "' --prefix '" + prefix + "' 2>&1");
    if (had)
        std::ofstream(manifest, std::ios::binary) << kept;
    else
        fs::remove(manifest);
    return run;
}

// The share of an icon's pixels that are see-through, and the mean brightness (0 to 1) of the
// rest.
std::pair<double, double> iconlook(const fs::path& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return {0, 0};
    image.format = PNG_FORMAT_RGBA;
    std::vector<png_byte> rgba(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) return {0, 0};
    double clear = 0, shown = 0, light = 0;
    for (size_t i = 0; i < rgba.size(); i += 4) {
        if (rgba[i + 3] < 128) {
            ++clear;
        } else {
            ++shown;
            light += (rgba[i] + rgba[i + 1] + rgba[i + 2]) / (3 * 255.0);
        }
    }
    return {clear / double(rgba.size() / 4), shown ? light / shown : 0};
}

}  // namespace

TEST(Install, ProgramsRunFromAnywhereWithTheirOwnResources) {
    // A copy or move of the tree reads its own resources, not the old tree's.
    EXPECT_TRUE(fs::read_symlink(fs::path(builddir) / "resources").is_relative());

    const tempdir dir;
    const std::string manifest = slurp(fs::path(builddir) / "install_manifest.txt");
    const shelloutput installed = install(dir / "usr");
    ASSERT_EQ(installed.status, 0) << installed.out;
    EXPECT_EQ(slurp(fs::path(builddir) / "install_manifest.txt"), manifest);
    const std::string reference = still(captureprogram, builddir, dir, "build");
    ASSERT_FALSE(reference.empty());
    EXPECT_EQ(still(captureprogram, "/", dir, "buildfromroot"), reference);
    EXPECT_EQ(still(dir / "usr/bin/quellspire-capture", "/", dir, "installed"), reference);

    for (const std::string& program : programs) {
        outcome version = runprogram(fs::path(dir / "usr/bin") / program, {"--version"}, "/");
        EXPECT_EQ(version.status, 0) << version.err;
        EXPECT_EQ(version.out, program + " " QUELLSPIRE_VERSION "\n");
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
}

// What the desktop, a software centre and man read of an install.
TEST(Install, ManualPagesIconsAndMetainfo) {
    const tempdir dir;
    ASSERT_EQ(install(dir / "usr").status, 0);
    for (const std::string& program : programs) {
        const shelloutput page = shell("zcat '" + dir / "usr/share/man/man1" + "/" + program + ".1.gz'");
        ASSERT_EQ(page.status, 0) << program;
        for (const std::string section : {"SYNOPSIS", "DESCRIPTION", "\"EXIT STATUS\"", "ENVIRONMENT", "FILES", "\"SEE ALSO\""})
            EXPECT_NE(page.out.find("\n.SH " + section + "\n"), std::string::npos)
                << program << " has no " << section << ":\n" << page.out;
        // Only the program's own name, never a source-tree script, in the synopsis.
        const std::string synopsis = page.out.substr(0, page.out.find(".SH DESCRIPTION"));
        EXPECT_EQ(synopsis.find("tools/"), std::string::npos) << synopsis;
    }
    // help2man puts a program's second usage line in SYNOPSIS only when it reads "or:".
    const shelloutput capturepage = shell("zcat '" + dir / "usr/share/man/man1/quellspire-capture.1.gz" + "'");
    EXPECT_NE(capturepage.out.find(".br\n.B quellspire-capture\n"), std::string::npos);

    // An icon in every size a menu or panel asks for, light on a see-through surround.
    for (int size : {16, 24, 32, 48, 64, 128, 256, 512}) {
        const fs::path icon = dir.path() / "usr/share/icons/hicolor" / (std::to_string(size) + "x" + std::to_string(size)) /
                              "apps/quellspire.png";
        const auto [clear, light] = iconlook(icon);
        EXPECT_GT(clear, 0.1) << icon;
        EXPECT_GT(light, 0.25) << icon;
    }
    const shelloutput entry = shell("desktop-file-validate '" + dir / "usr/share/applications/quellspire.desktop" + "' 2>&1");
    EXPECT_EQ(entry.status, 0) << entry.out;
    const shelloutput metainfo = shell("appstreamcli validate --pedantic --no-net --no-color '" +
                                       dir / "usr/share/metainfo/org.quellspire.quellspire.metainfo.xml" + "' 2>&1");
    EXPECT_EQ(metainfo.status, 0) << metainfo.out;
    EXPECT_NE(metainfo.out.find("Validation was successful."), std::string::npos) << metainfo.out;
}

TEST(Install, DebianPackagesAreReproducibleLintianCleanAndAnswerHelp) {
    const tempdir dir;
    // Two packagings, seconds apart, give the same bytes.
    for (const char* run : {"pack", "again"}) {
        const shelloutput pack = shell("'" CPACK_COMMAND "' --config '" + builddir + "/CPackConfig.cmake' -B '" + dir / run +
                                       "' 2>&1");
        ASSERT_EQ(pack.status, 0) << pack.out;
    }
    const std::vector<fs::path> debs = {dir.path() / "pack" / ("quellspire_" QUELLSPIRE_VERSION "_amd64.deb"),
                                        dir.path() / "pack" / ("quellspire-data_" QUELLSPIRE_VERSION "_all.deb")};
    for (const fs::path& deb : debs) {
        ASSERT_TRUE(fs::is_regular_file(deb)) << deb;
        EXPECT_EQ(slurp(deb), slurp(dir.path() / "again" / deb.filename())) << deb.filename() << " differs";
        const shelloutput lint = shell("lintian --pedantic --fail-on error,warning,pedantic '" + deb.string() + "' 2>&1");
        EXPECT_EQ(lint.status, 0) << lint.out;
        ASSERT_EQ(shell("dpkg -x '" + deb.string() + "' '" + dir / "root" + "'").status, 0);
    }

    // The programs need the data package, dpkg-shlibdeps' libraries, and the OpenCL loader once.
    const std::string depends = shell("dpkg-deb -f '" + debs[0].string() + "' Depends").out;
    EXPECT_NE(depends.find("quellspire-data (= " QUELLSPIRE_VERSION ")"), std::string::npos) << depends;
    EXPECT_NE(depends.find("libglfw3"), std::string::npos) << depends;
    EXPECT_NE(depends.find("ocl-icd-libopencl1"), std::string::npos) << depends;
    EXPECT_EQ(depends.find("ocl-icd-libopencl1"), depends.rfind("ocl-icd-libopencl1")) << depends;
    EXPECT_EQ(shell("dpkg-deb -f '" + debs[1].string() + "' Architecture").out, "all\n");

    EXPECT_TRUE(fs::is_regular_file(dir / "root/usr/libexec/quellspire/with-display"));
    for (const char* doc : {"README.md", "NEWS", "copyright", "changelog.gz"})
        EXPECT_TRUE(fs::is_regular_file(dir.path() / "root/usr/share/doc/quellspire" / doc)) << doc;
    // The copyright names what is compiled in, and the font's notice as the font gives it.
    const std::string copyright = slurp(dir.path() / "root/usr/share/doc/quellspire-data/copyright");
    const std::string fontlicence = slurp(fs::path(TALVO_SOURCE_DIR) / "resources/exmouth/LICENSE");
    const std::string notice = fontlicence.substr(0, fontlicence.find_first_of("\r\n"));
    EXPECT_NE(copyright.find("Copyright: " + notice.substr(notice.find(' ') + 1)), std::string::npos) << notice;
    for (const char* library : {"nlohmann-json", "GLM", "FMOD Ex"})
        EXPECT_NE(copyright.find(library), std::string::npos) << library;
    for (const std::string& program : programs) {
        outcome help = runprogram(fs::path(dir / "root/usr/bin") / program, {"--help"}, "/");
        EXPECT_EQ(help.status, 0) << program << ": " << help.err;
        EXPECT_EQ(help.out.rfind("Usage: " + program, 0), 0u) << help.out;
    }
}
