#pragma once
// The matrix operations the scenes' cameras are written in: glm's, with angles in degrees.
// Products read left to right in multiplication order and apply right to left, as in GLSL.
#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>

#include "engine/globals.h"

namespace camera {

// windowwidth / windowheight as floats: the size the latest sync published.
inline float windowaspect() {
    return float(talvo::windowwidth) / float(talvo::windowheight);
}

inline glm::mat4 perspective(float fovdegrees, float aspect, float near, float far) {
    return glm::perspective(glm::radians(fovdegrees), aspect, near, far);
}

inline glm::mat4 lookat(const glm::vec3& eye, const glm::vec3& centre, const glm::vec3& up) {
    return glm::lookAt(eye, centre, up);
}

inline glm::mat4 rotation(float degrees, const glm::vec3& axis) {
    return glm::rotate(glm::mat4(1.0f), glm::radians(degrees), axis);
}

inline glm::mat4 translation(const glm::vec3& offset) {
    return glm::translate(glm::mat4(1.0f), offset);
}

inline glm::mat4 scaling(const glm::vec3& factors) {
    return glm::scale(glm::mat4(1.0f), factors);
}

}  // namespace camera
