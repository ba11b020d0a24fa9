#include "gl/fsshader.h"

#include "diag/check.h"

namespace talvo {

FSShader::FSShader(const std::string& fragmentfile, int instances)
    : state(0, nullptr, fields{instances, true, {}}),
      p("null.vert", "fsquad.geom", fragmentfile),
      va(VArray::create()) {
    p.setUniform("m", glm::mat4(1.0f));
}

void FSShader::setTexture(const std::string& name, const Texture& texture) {
    std::vector<std::pair<std::string, Texture>>& tins = state.fields().tins;
    for (std::pair<std::string, Texture>& input : tins) {
        if (input.first == name) {
            input.second = texture;
            return;
        }
    }
    tins.emplace_back(name, texture);
}

void FSShader::setUniform(const std::string& name, float value) {
    p.setUniform(name, value);
}

void FSShader::setUniform(const std::string& name, int value) {
    p.setUniform(name, value);
}

void FSShader::setTransform(const glm::mat4& m) {
    p.setUniform("m", m);
}

void FSShader::display() {
    const fields& f = state.fields();
    glcheck("void FSShader::display() entry");
    if (f.clear) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glcheck("glClear(GL_COLOR_BUFFER_BIT);");
    }
    GLCHECKED(p.use());
    for (size_t i = 0; i < f.tins.size(); ++i) {
        p.bindTexture(f.tins[i].first, f.tins[i].second, int(i));
        glcheck("p.bindTexture(tins[i].first, *(tins[i].second), i);");
    }
    va.draw(1, f.instances, GL_POINTS);
}

}  // namespace talvo
