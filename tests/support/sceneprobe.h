#pragma once
// The base of the tests' probes: a scene class with what every probe reads of the skeleton.
//
//   class probe : public talvo::testsupport::sceneprobe<flight> { ... };
#include "gl/texture.h"

namespace talvo::testsupport {

template <typename Scene>
class sceneprobe : public Scene {
public:
    using Scene::Scene;
    // The scene's colour target; null while it has none (before resize, after leave).
    const Texture* colourtarget() const { return this->colour.get(); }
};

}  // namespace talvo::testsupport
