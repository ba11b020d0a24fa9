#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <fstream>
#include <map>
#include <new>
#include <stdexcept>
#include <string>

#include "diag/check.h"
#include "diag/fatal.h"

namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

TEST(clerrorname, NamesEveryListedCodeAndNothingElse) {
    const std::map<int, std::string> names = {
        {0, "Success!"},
        {-1, "Device not found."},
        {-2, "Device not available"},
        {-3, "Compiler not available"},
        {-4, "Memory object allocation failure"},
        {-5, "Out of resources"},
        {-6, "Out of host memory"},
        {-7, "Profiling information not available"},
        {-8, "Memory copy overlap"},
        {-9, "Image format mismatch"},
        {-10, "Image format not supported"},
        {-11, "Program build failure"},
        {-12, "Map failure"},
        {-30, "Invalid value"},
        {-31, "Invalid device type"},
        {-32, "Invalid platform"},
        {-33, "Invalid device"},
        {-34, "Invalid context"},
        {-35, "Invalid queue properties"},
        {-36, "Invalid command queue"},
        {-37, "Invalid host pointer"},
        {-38, "Invalid memory object"},
        {-39, "Invalid image format descriptor"},
        {-40, "Invalid image size"},
        {-41, "Invalid sampler"},
        {-42, "Invalid binary"},
        {-43, "Invalid build options"},
        {-44, "Invalid program"},
        {-45, "Invalid program executable"},
        {-46, "Invalid kernel name"},
        {-47, "Invalid kernel definition"},
        {-48, "Invalid kernel"},
        {-49, "Invalid argument index"},
        {-50, "Invalid argument value"},
        {-51, "Invalid argument size"},
        {-52, "Invalid kernel arguments"},
        {-53, "Invalid work dimension"},
        {-54, "Invalid work group size"},
        {-55, "Invalid work item size"},
        {-56, "Invalid global offset"},
        {-57, "Invalid event wait list"},
        {-58, "Invalid event"},
        {-59, "Invalid operation"},
        {-60, "Invalid OpenGL object"},
        {-61, "Invalid buffer size"},
        {-62, "Invalid mip-map level"},
    };
    for (int code = -100; code <= 100; ++code) {
        const auto it = names.find(code);
        EXPECT_EQ(talvo::clerrorname(code), it == names.end() ? "Unknown" : it->second)
            << "code " << code;
    }
    EXPECT_STREQ(talvo::clerrorname(-1001), "No platform found");
    EXPECT_STREQ(talvo::clerrorname(INT_MIN), "Unknown");
    EXPECT_STREQ(talvo::clerrorname(INT_MAX), "Unknown");
}

// The audio error table as the source tree holds it: code TAB name TAB text.
std::map<int, std::string> readfmodtable() {
    std::ifstream in(TALVO_SOURCE_DIR "/diag/fmod-errors.tsv");
    std::map<int, std::string> table;
    std::string line;
    while (std::getline(in, line)) {
        const auto first = line.find('\t');
        const auto second = line.find('\t', first + 1);
        if (first == std::string::npos || second == std::string::npos) {
            ADD_FAILURE() << "malformed row: " << line;
            continue;
        }
        table[std::stoi(line.substr(0, first))] = line.substr(second + 1);
    }
    return table;
}

TEST(fmoderrortext, MatchesTheTableForEveryCode) {
    const std::map<int, std::string> table = readfmodtable();
    ASSERT_EQ(table.size(), 98u);
    for (int code = 0; code <= 97; ++code) {
        ASSERT_EQ(table.count(code), 1u) << "code " << code;
        EXPECT_EQ(talvo::fmoderrortext(code), table.at(code)) << "code " << code;
    }
    // The texts keep their trailing space byte for byte.
    EXPECT_STREQ(talvo::fmoderrortext(0), "No errors.");
    EXPECT_STREQ(talvo::fmoderrortext(1),
                 "Tried to call lock a second time before unlock was called. ");
    for (int code : {-1, 98, 1000, INT_MIN, INT_MAX})
        EXPECT_STREQ(talvo::fmoderrortext(code), "Unknown error.") << "code " << code;
}

int fails(int status) { return status; }

TEST(checks, ClcheckPrintsLineAAndThrows) {
    CaptureStderr();
    CLCHECKED(fails(0));
    EXPECT_EQ(GetCapturedStderr(), "");

    CaptureStderr();
    EXPECT_THROW(CLCHECKED(fails(-5)), talvo::Log::CLException);
    EXPECT_EQ(GetCapturedStderr(), "at fails(-5) | CLERROR: Out of resources\n");

    CaptureStderr();
    int err = 0;
    EXPECT_THROW(CLCHECKED_ERR(err = fails(-20), err), talvo::Log::CLException);
    // A status of the driver's own names the program and what to do on a line of its own.
    EXPECT_EQ(GetCapturedStderr(), "at err = fails(-20) | CLERROR: Unknown\n" +
                                       std::string(program_invocation_short_name) +
                                       ": the OpenCL driver failed with its own status -20: check it (clinfo lists "
                                       "what it offers) or install another (Debian's pocl-opencl-icd)\n");
}

TEST(checks, FtcheckPrintsLineBWithoutLineEndAndThrows) {
    CaptureStderr();
    FTCHECKED(fails(0));
    EXPECT_EQ(GetCapturedStderr(), "");

    CaptureStderr();
    EXPECT_THROW(talvo::ftcheck(23, "FT_Set_Pixel_Sizes(*face, width, height)"),
                 talvo::Log::FTException);
    EXPECT_EQ(GetCapturedStderr(), "at FT_Set_Pixel_Sizes(*face, width, height) | FTERROR: 23");

    CaptureStderr();
    EXPECT_THROW(FTCHECKED(fails(-1)), talvo::Log::FTException);
    EXPECT_EQ(GetCapturedStderr(), "at fails(-1) | FTERROR: -1");
}

TEST(checks, FmodcheckPrintsLineCAndReturns) {
    CaptureStderr();
    FMODCHECKED(fails(0));
    EXPECT_EQ(GetCapturedStderr(), "");

    const std::string text = readfmodtable().at(23);
    CaptureStderr();
    EXPECT_NO_THROW(talvo::fmodcheck(23, "system->init(1, FMOD_INIT_NORMAL, 0)"));
    EXPECT_EQ(GetCapturedStderr(),
              "at system->init(1, FMOD_INIT_NORMAL, 0) | FMODERROR: " + text + "\n");

    // An empty call text is allowed.
    CaptureStderr();
    talvo::fmodcheck(200, "");
    EXPECT_EQ(GetCapturedStderr(), "at  | FMODERROR: Unknown error.\n");
}

// Not only a check's throw: any exception that leaves the work ends the run with status 1 and
// a whole line that names the program as the last, instead of std::terminate's abort.
TEST(fatal, AnyExceptionLeavingTheWorkEndsWithStatus1AndAWholeLineLast) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string program = program_invocation_short_name;
    EXPECT_EXIT(talvo::endonfatal([] { throw std::runtime_error("no rooms left"); }), testing::ExitedWithCode(1),
                program + ": no rooms left\n$");
    EXPECT_EXIT(talvo::endonfatal([] { throw std::bad_alloc(); }), testing::ExitedWithCode(1),
                program + ": out of memory: free some, or ask for a smaller picture, and start again\n$");
    EXPECT_EXIT(talvo::endonfatal([] { talvo::ftcheck(23, "FT_Set_Pixel_Sizes(*face, width, height)"); }),
                testing::ExitedWithCode(1), "\| FTERROR: 23\n$");
}

}  // namespace
