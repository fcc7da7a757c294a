// Scenes for the screen driver: each runs one screen operation of the
// installer as a test asks, so screens that the main sequence does not reach
// can be driven in tmux like the real program.
#pragma once

#include <string>
#include <vector>

using SceneFn = int (*)(const std::vector<std::string>& args);

// Registers a scene under a name at start-up.
struct SceneRegistration {
    SceneRegistration(const char* name, SceneFn fn);
};

#define KEL_SCENE(name)                                                          \
    static int scene_##name(const std::vector<std::string>& args);               \
    static const SceneRegistration registration_##name(#name, scene_##name);     \
    static int scene_##name([[maybe_unused]] const std::vector<std::string>& args)
