#pragma once
// A scene in the test process, on a real GL context and PoCL, driven through its state
// operations with the production clock set as the loop sets it, and what the tests read back:
// where a camera puts a point, the HDR target's values (the window's pixels: glpixels.h).
//
//   class mytest : public talvo::testsupport::scenetest {};
//   myscene s; bringin(s, 136000); step(s, 136025); s.display();
#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <glm/glm.hpp>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "diag/check.h"
#include "engine/globals.h"
#include "engine/state.h"
#include "gl/sharedtargets.h"
#include "gl/texture.h"
#include "support/glcontext.h"
#include "support/glpixels.h"

namespace talvo::testsupport {

// Where a world point lands under m: normalised device x and y, and the clip w.
inline glm::vec3 onscreen(const glm::mat4& m, const glm::vec3& p) {
    const glm::vec4 c = m * glm::vec4(p, 1.0f);
    return {c.x / c.w, c.y / c.w, c.w};
}

// True when p is in front of the camera and in the middle of the picture.
inline bool looksat(const glm::mat4& m, const glm::vec3& p, float tolerance = 1e-3f) {
    const glm::vec3 s = onscreen(m, p);
    return s.z > 0.0f && std::abs(s.x) < tolerance && std::abs(s.y) < tolerance;
}

// A multisampled RGB16F texture resolved (its samples averaged), in HDR units, row by row.
inline std::vector<glm::vec3> hdrimage(const Texture& t) {
    GLint draw = 0, read = 0;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &draw);
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &read);
    GLuint fbo[2] = {};
    GLuint resolved = 0;
    GLCHECKED(glGenFramebuffers(2, fbo));
    GLCHECKED(glGenRenderbuffers(1, &resolved));
    GLCHECKED(glBindRenderbuffer(GL_RENDERBUFFER, resolved));
    GLCHECKED(glRenderbufferStorage(GL_RENDERBUFFER, GL_RGB16F, t.width, t.height));
    GLCHECKED(glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo[0]));
    GLCHECKED(glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D_MULTISAMPLE, t.buf, 0));
    GLCHECKED(glBindFramebuffer(GL_DRAW_FRAMEBUFFER, fbo[1]));
    GLCHECKED(glFramebufferRenderbuffer(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, resolved));
    GLCHECKED(glBlitFramebuffer(0, 0, t.width, t.height, 0, 0, t.width, t.height, GL_COLOR_BUFFER_BIT, GL_NEAREST));
    GLCHECKED(glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo[1]));
    GLCHECKED(glReadBuffer(GL_COLOR_ATTACHMENT0));
    std::vector<glm::vec3> pixels(size_t(t.width) * size_t(t.height), glm::vec3(-1.0f));
    GLCHECKED(glPixelStorei(GL_PACK_ALIGNMENT, 4));
    GLCHECKED(glReadPixels(0, 0, t.width, t.height, GL_RGB, GL_FLOAT, pixels.data()));
    GLCHECKED(glBindFramebuffer(GL_DRAW_FRAMEBUFFER, GLuint(draw)));
    GLCHECKED(glBindFramebuffer(GL_READ_FRAMEBUFFER, GLuint(read)));
    GLCHECKED(glDeleteFramebuffers(2, fbo));
    GLCHECKED(glDeleteRenderbuffers(1, &resolved));
    return pixels;
}

// The value of a float uniform of a GL program.
inline float uniformvalue(GLuint program, const char* name) {
    float value = -1.0f;
    glGetUniformfv(program, glGetUniformLocation(program, name), &value);
    return value;
}

// The shared targets as the production holds them, and the production clock.
class scenetest : public gltest {
protected:
    void SetUp() override {
        gltest::SetUp();
        sharedcolor = Texture(8, GL_RGB16F, 0, 0, GL_TEXTURE_2D_MULTISAMPLE);
        sharedcolor2 = Texture(8, GL_RGB16F, 0, 0, GL_TEXTURE_2D_MULTISAMPLE);
        shareddepth = Texture(8, GL_DEPTH_COMPONENT24, 0, 0, GL_TEXTURE_2D_MULTISAMPLE);
        starttime = 1000;  // any start: scenes read times relative to it
        at(0);
    }
    void TearDown() override {
        sharedcolor = Texture();
        sharedcolor2 = Texture();
        shareddepth = Texture();
    }

    // Sets the production clock to T milliseconds.
    static void at(uint32_t T) { updatetime = prevupdatetime = starttime + T; }
    // What the switcher does when a scene's time has come, and the sync of that frame.
    static void bringin(state& s, uint32_t T) {
        at(T);
        s.resize(windowwidth, windowheight);
        s.enter(nullptr);
        s.sync();
    }
    // One frame at T: the step that ends there, then the frame's sync.
    static void step(state& s, uint32_t T) {
        at(T);
        s.update();
        s.sync();
    }
};

}  // namespace talvo::testsupport
