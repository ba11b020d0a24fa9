// Reading frames back from a real window (Mesa under Xvfb) and writing them as PNG files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <epoxy/gl.h>
#include <GLFW/glfw3.h>

#include <filesystem>
#include <vector>

#include "app/capture/pngsequence.h"
#include "app/framereader.h"
#include "engine/globals.h"
#include "platform/contexts.h"
#include "support/appwindow.h"
#include "support/pictures.h"

using namespace talvo::capture;
using talvo::framereader;
namespace fs = std::filesystem;

namespace {

constexpr int width = 40, height = 30;

class Readback : public ::testing::Test {
protected:
    static void SetUpTestSuite() { talvo::testsupport::openappwindow("capture tests", width, height); }
    static void TearDownTestSuite() { talvo::closewindow(); }

    // Fills the back buffer with `below` and its top `rows` rows with `above`.
    static void paint(const float above[3], const float below[3], int rows) {
        glDisable(GL_SCISSOR_TEST);
        glClearColor(below[0], below[1], below[2], 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glEnable(GL_SCISSOR_TEST);
        glScissor(0, height - rows, width, rows);
        glClearColor(above[0], above[1], above[2], 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glDisable(GL_SCISSOR_TEST);
        ASSERT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }

    static std::vector<uint8_t> pixel(const std::vector<uint8_t>& image, int x, int y) {
        auto at = image.begin() + (static_cast<long>(y) * width + x) * 3;
        return {at, at + 3};
    }
};

const float red[3] = {1, 0, 0}, green[3] = {0, 1, 0}, blue[3] = {0, 0, 1};
const std::vector<uint8_t> redpixel{255, 0, 0}, greenpixel{0, 255, 0}, bluepixel{0, 0, 255};

}  // namespace

TEST_F(Readback, PicturesComeBackUprightAndInOrder) {
    framereader reader(width, height);
    EXPECT_EQ(reader.last(), std::vector<uint8_t>(width * height * 3, 0));  // black before the first

    paint(red, blue, 1);  // one red row at the top
    reader.read();
    glfwSwapBuffers(talvo::primarycontext);
    paint(green, blue, 10);
    reader.read();
    glfwSwapBuffers(talvo::primarycontext);
    EXPECT_EQ(reader.queued(), 2);

    const std::vector<uint8_t>& first = reader.take();
    EXPECT_EQ(pixel(first, 0, 0), redpixel);
    EXPECT_EQ(pixel(first, width - 1, 0), redpixel);
    EXPECT_EQ(pixel(first, 0, 1), bluepixel);
    EXPECT_EQ(pixel(first, width - 1, height - 1), bluepixel);

    const std::vector<uint8_t>& second = reader.take();
    EXPECT_EQ(pixel(second, 3, 9), greenpixel);
    EXPECT_EQ(pixel(second, 3, 10), bluepixel);
    EXPECT_EQ(reader.queued(), 0);
    EXPECT_EQ(pixel(reader.last(), 3, 9), greenpixel);
    // The pixel buffers leave no pack buffer bound for the scenes' own reads.
    GLint bound = -1;
    glGetIntegerv(GL_PIXEL_PACK_BUFFER_BINDING, &bound);
    EXPECT_EQ(bound, 0);
}

TEST(PngFiles, HoldThePictureAsGiven) {
    std::vector<uint8_t> picture(5 * 3 * 3);
    for (size_t i = 0; i < picture.size(); ++i) picture[i] = static_cast<uint8_t>(i * 7);
    fs::path file = fs::temp_directory_path() / ("capture-test-" + std::to_string(getpid()) + ".png");
    pngsequence::writepng(file.string(), picture, 5, 3);

    const talvo::testsupport::picture back = talvo::testsupport::readpng(file);
    EXPECT_EQ(back.width, 5);
    EXPECT_EQ(back.height, 3);
    EXPECT_EQ(back.rgb, picture);
    fs::remove(file);

    EXPECT_THROW(pngsequence::writepng("/nonexistent-dir/frame.png", picture, 5, 3), capturefailure);
}
