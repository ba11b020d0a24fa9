#include "bench/support/scenebench.h"

#include <cstdio>
#include <iterator>
#include <vector>

#include "engine/globals.h"
#include "gl/sharedtargets.h"

namespace talvo::bench {

namespace {

// What the production asks of the shared targets; the texture layer lowers it to what the
// driver can do.
constexpr int sharedsamples = 8;

std::vector<unsigned char> windowpixels(int width, int height) {
    std::vector<unsigned char> pixels(size_t(width) * size_t(height) * 4);
    GLCHECKED(glReadBuffer(GL_BACK));
    GLCHECKED(glPixelStorei(GL_PACK_ALIGNMENT, 1));
    GLCHECKED(glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data()));
    return pixels;
}

}  // namespace

void preparescene(const benchargs& args, uint32_t at) {
    windowwidth = args.width;
    windowheight = args.height;
    GLCHECKED(glViewport(0, 0, args.width, args.height));
    sharedcolor = Texture(sharedsamples, GL_RGB16F, args.width, args.height, GL_TEXTURE_2D_MULTISAMPLE);
    sharedcolor2 = Texture(sharedsamples, GL_RGB16F, args.width, args.height, GL_TEXTURE_2D_MULTISAMPLE);
    shareddepth = Texture(sharedsamples, GL_DEPTH_COMPONENT24, args.width, args.height, GL_TEXTURE_2D_MULTISAMPLE);
    starttime = 0;
    updatetime = prevupdatetime = at;
}

void releasescene() {
    sharedcolor = Texture();
    sharedcolor2 = Texture();
    shareddepth = Texture();
}

void comparepictures(const benchargs& args, const std::function<void()>& raw) {
    // Both sides must draw the same picture for the comparison to mean anything.
    const std::vector<unsigned char> engineview = windowpixels(args.width, args.height);
    raw();
    const std::vector<unsigned char> rawview = windowpixels(args.width, args.height);
    long differing = 0;
    for (size_t i = 0; i < rawview.size(); ++i) differing += rawview[i] != engineview[i];
    if (differing)
        std::printf("warning: the raw frame differs from the scene's in %ld of %zu values\n", differing, rawview.size());
}

framecounts countframe(const std::function<void()>& frame) {
    framecounts counts;
    if (!epoxy_has_gl_extension("GL_ARB_pipeline_statistics_query")) {
        frame();
        return counts;
    }
    const GLenum targets[] = {GL_VERTICES_SUBMITTED_ARB, GL_GEOMETRY_SHADER_INVOCATIONS,
                              GL_GEOMETRY_SHADER_PRIMITIVES_EMITTED_ARB, GL_CLIPPING_OUTPUT_PRIMITIVES_ARB,
                              GL_FRAGMENT_SHADER_INVOCATIONS_ARB, GL_SAMPLES_PASSED};
    GLuint64* const results[] = {&counts.vertices, &counts.gsinvocations, &counts.gsprimitives, &counts.rasterised,
                                 &counts.fragments, &counts.samples};
    constexpr int kinds = int(std::size(targets));
    GLuint queries[kinds] = {};
    GLCHECKED(glGenQueries(kinds, queries));
    for (int i = 0; i < kinds; ++i) GLCHECKED(glBeginQuery(targets[i], queries[i]));
    frame();
    for (int i = 0; i < kinds; ++i) GLCHECKED(glEndQuery(targets[i]));
    for (int i = 0; i < kinds; ++i) GLCHECKED(glGetQueryObjectui64v(queries[i], GL_QUERY_RESULT, results[i]));
    GLCHECKED(glDeleteQueries(kinds, queries));
    counts.counted = true;
    return counts;
}

namespace {
void printcounts(const char* side, const framecounts& c, const benchargs& args) {
    const double pixels = double(args.width) * double(args.height);
    std::printf("  one frame, %-6s vertices %llu, geometry shader %llu invocations %llu primitives, rasterised %llu, "
                "fragments %llu (overdraw %.2f), samples covered %llu (%.2f a pixel)\n",
                side, (unsigned long long)c.vertices, (unsigned long long)c.gsinvocations,
                (unsigned long long)c.gsprimitives, (unsigned long long)c.rasterised,
                (unsigned long long)c.fragments, double(c.fragments) / pixels, (unsigned long long)c.samples,
                double(c.samples) / pixels);
}
}  // namespace

void printscene(const std::string& name, const benchargs& args, const scenemedians& m, const std::string& syncdoes) {
    std::printf("%s %dx%d, %d steps (medians):\n", name.c_str(), args.width, args.height, args.steps);
    std::printf("  update   engine %8.2f ms   raw OpenCL %8.2f ms   ratio %.3f\n", m.update, m.rawupdate,
                m.update / m.rawupdate);
    std::printf("  display  engine %8.2f ms   raw GL     %8.2f ms   ratio %.3f\n", m.display, m.rawframe,
                m.display / m.rawframe);
    std::printf("  sync (%s) %.2f ms; sync + display against raw GL: ratio %.3f\n", syncdoes.c_str(), m.sync,
                (m.sync + m.display) / m.rawframe);
    if (!m.counts.counted) {
        std::printf("  one frame: no pipeline statistics (GL_ARB_pipeline_statistics_query) on this GL\n");
        return;
    }
    printcounts("engine", m.counts, args);
    printcounts("raw GL", m.rawcounts, args);
}

}  // namespace talvo::bench
