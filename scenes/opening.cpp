#include "scenes/opening.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "cl/particles.h"
#include "diag/check.h"
#include "engine/control.h"
#include "engine/data.h"
#include "engine/timercontrol.h"
#include "scenes/camera.h"
#include "scenes/lines.h"
#include "text/rendertext.h"
#include "scenes/schedule.h"

using namespace talvo;

namespace {

const char* const starexpression =
    "x=cos((f+1)*3295)*100+cos((f+1)*534684)*100; y=cos((f+1)*12484)*100+cos((f+1)*345645)*100; "
    "z=cos((f+1)*7484)*100+cos((f+1)*234534)*100;";

float clamp01(float v) {
    return std::min(std::max(v, 0.0f), 1.0f);
}

// Reads the string texture back once: the card is centred on its ink, not on the empty band
// that the texture keeps above the letters.
opening::inkbox measureink(const Texture& text) {
    opening::inkbox box;
    if (text.buf == 0) return box;
    std::vector<uint8_t> coverage(size_t(text.width) * size_t(text.height));
    GLint alignment = 4;
    GLCHECKED(glGetIntegerv(GL_PACK_ALIGNMENT, &alignment));
    GLCHECKED(glPixelStorei(GL_PACK_ALIGNMENT, 1));
    text.bind();
    GLCHECKED(glGetTexImage(GL_TEXTURE_2D, 0, GL_RED, GL_UNSIGNED_BYTE, coverage.data()));
    GLCHECKED(glPixelStorei(GL_PACK_ALIGNMENT, alignment));
    int left = text.width, right = -1, bottom = text.height, top = -1;
    for (int row = 0; row < text.height; ++row)
        for (int column = 0; column < text.width; ++column)
            if (coverage[size_t(row) * size_t(text.width) + size_t(column)] > 0) {
                left = std::min(left, column);
                right = std::max(right, column);
                bottom = std::min(bottom, row);
                top = std::max(top, row);
            }
    if (right < 0) return box;
    const glm::vec2 size(float(text.width), float(text.height));
    box.from = glm::vec2(float(left), float(bottom)) / size;
    box.to = glm::vec2(float(right + 1), float(top + 1)) / size;
    return box;
}

}  // namespace

glm::mat4 opening::camera(int which, float T) {
    const float a = 0.0004f * T;
    const glm::mat4 view =
        which == 0 ? camera::lookat(glm::vec3(0.7f, 0.0f, 0.0f), glm::vec3(std::sin(a), 0.0f, std::cos(a)),
                                    glm::vec3(0.0f, 1.0f, 0.0f))
                   : camera::lookat(glm::vec3(0.0f, 0.0f, 0.5f), glm::vec3(std::cos(a), 0.0f, std::sin(a)),
                                    glm::vec3(0.0f, 1.0f, 0.0f));
    return camera::perspective(45.0f, camera::windowaspect(), 1.0f, 5000.0f) *
           camera::rotation(0.013f * T, glm::vec3(0.0f, 0.0f, 1.0f)) * view;
}

float opening::firstvisibilityat(float T) {
    return clamp01((T - 12000.0f) * 0.001f) * (1.0f - clamp01((T - 20000.0f) * 0.001f));
}

float opening::secondvisibilityat(float T) {
    return clamp01((T - 20000.0f) * 0.001f) * (1.0f - clamp01((T - 26000.0f) * 0.001f));
}

float opening::starvisibilityat(float T) {
    return clamp01((26000.0f - T) * 0.001f + 1.0f);
}

opening::opening() : scene(float(talvo::schedule::startof("opening")), targets()), font("exmouth/exmouth_.ttf") {
    droponleave = true;
    maxbright = 1.0f;
    exposure = 10.0f;

    auto titles = std::make_unique<statelist>();
    auto* timeline = children.add(std::make_unique<controls::timercontrol>());
    // With its one item the holder changes nothing when it advances: it is there so that the
    // camera timeline is synchronised with the scene.
    auto* holder = children.add(std::make_unique<controls::control<controls::timercontrol>>());
    timeline->addlistener(holder);
    holder->addtrigger(-1);

    auto* cameras = titles->add(std::make_unique<controls::control<data<glm::mat4>>>());
    auto* cameratimeline = holder->additem(std::make_unique<controls::timercontrol>());
    cameras->addtrigger(-1);
    cameratimeline->addevent(4000.0f);
    cameratimeline->addevent(8000.0f);
    cameratimeline->addlistener(cameras);
    for (int which : {0, 1})
        addchannel<glm::mat4>(*cameras, [which] { return camera(which, productiontime()); }, &starmatrix);

    addchannel<float>(*titles, [] { return firstvisibilityat(productiontime()); }, &firstvisibility);
    addchannel<float>(*titles, [] { return secondvisibilityat(productiontime()); }, &secondvisibility);

    // Nothing until 12 s, the particles until 28 s, then lines.
    auto actlist = std::make_unique<controls::control<state>>();
    timeline->addlistener(actlist.get());
    actlist->addtrigger(0);
    actlist->addtrigger(2);
    actlist->additem(std::make_unique<statelist>());
    actlist->additem(std::make_unique<particles>());
    nested = actlist->additem(std::make_unique<lines>());
    nested->mapsintoparent(exposure, maxbright);
    acts = children.add(std::move(actlist));

    font.setsize();
    firsttitle = renderText(font, "TalvoX001");
    secondtitle = renderText(font, "Quellspire");
    firstink = measureink(firsttitle);
    secondink = measureink(secondtitle);

    titlepass = FSShader("fonttest.frag", 1);
    titlepass.setTransform(camera::scaling(glm::vec3(0.5f, 0.5f, 1.0f)));
    hdr = std::make_unique<FSShader>("hdr.frag", 1);

    starpoints = PointGenerator(starexpression, stars);
    starfield = Program("starfield.vert", "starfield.geom", "starfield.frag");
    starva = VArray::create();
    starva.setAttribute(0, starpoints.display().buf(), starpoints.display().target, starpoints.display().type);

    titlepass.setClear(false);

    auto titleswitcher = std::make_unique<controls::control<state>>();
    titleswitcher->additem(std::move(titles));
    titleswitcher->additem(std::make_unique<statelist>());
    timeline->addlistener(titleswitcher.get());
    titleswitcher->addtrigger(2);

    auto* starfade = children.add(std::make_unique<controls::control<data<float>>>());
    addchannel<float>(*starfade, [] { return starvisibilityat(productiontime()); }, &starvisibility);
    children.add(std::move(titleswitcher));

    auto* flag = children.add(std::make_unique<controls::control<data<bool>>>());
    addchannel<bool>(*flag, [] { return true; }, &titleflag);
    addchannel<bool>(*flag, [] { return false; }, &titleflag);
    flag->addtrigger(2);
    timeline->addlistener(flag);

    for (float ms : {12000.0f, 20000.0f, float(schedule::startof("lines")), 44000.0f}) timeline->addevent(ms);
}

void opening::update() {
    scene::update();
    starpoints.setCount(std::min(starpoints.maxcount(), stars));
    starpoints.update();
}

bool opening::sync() {
    scene::sync();
    starpoints.publish();
    return published() && (acts->currentitem() != nested || nested->published());
}

void opening::leave(state* next) {
    scene::leave(next);
    firsttitle = Texture();
    secondtitle = Texture();
    titlepass = FSShader();
    starfield = Program();
    starpoints = PointGenerator();
    starva = VArray();
}

void opening::drawscene() {
    GLCHECKED(glDepthMask(GL_TRUE));
    GLCHECKED(glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT));
    children.display();
    if (!titleflag) return;
    GLCHECKED(glDisable(GL_DEPTH_TEST));
    GLCHECKED(glEnable(GL_BLEND));
    GLCHECKED(glBlendFunc(GL_ONE, GL_ONE));
    GLCHECKED(glDepthMask(GL_FALSE));
    drawtitles();
    drawstars();
}

void opening::drawtitles() {
    const struct {
        const Texture& text;
        const inkbox& ink;
        float visibility;
    } cards[] = {{firsttitle, firstink, firstvisibility}, {secondtitle, secondink, secondvisibility}};
    for (const auto& card : cards) {
        // The second card's texture takes the first one's unit.
        titlepass.setTexture("tex", card.text);
        titlepass.setUniform("visibility", card.visibility);
        titlepass.program().setUniform("inkfrom", card.ink.from);
        titlepass.program().setUniform("inkto", card.ink.to);
        titlepass.display();
    }
}

void opening::drawstars() {
    setgains(starfield, {1.8f, 0.8f, 0.5f});
    setscreensize(starfield);
    starfield.setUniform("visibility", starvisibility);
    starfield.setUniform("mat", starmatrix);
    GLCHECKED(glBindAttribLocation(starfield.name(), 0, "pos"));
    GLCHECKED(glEnable(GL_PROGRAM_POINT_SIZE));
    starva.draw(stars, 1, GL_POINTS);
}
