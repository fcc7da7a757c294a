// screen_driver [--plain] SCENE [ARGS...]
// Starts full-screen mode as the installer does (unless --plain), runs one
// scene, leaves full-screen mode and prints "RESULT <n>" with the scene's
// answer, which is also the exit status. The log goes to $KEL_LOG if set.
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "common/interrupt.h"
#include "installer/state.h"
#include "scene.h"
#include "screens/screen.h"

namespace {
std::map<std::string, SceneFn>& scenes() {
    static std::map<std::string, SceneFn> all;
    return all;
}
}  // namespace

SceneRegistration::SceneRegistration(const char* name, SceneFn fn) {
    scenes()[name] = fn;
}

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    int first = 1;
    const bool plain = argc > 1 && std::strcmp(argv[1], "--plain") == 0;
    if (plain)
        ++first;
    if (argc <= first || !scenes().count(argv[first])) {
        std::fprintf(stderr, "usage: screen_driver [--plain] SCENE [ARGS...]; scenes:");
        for (const auto& [name, fn] : scenes())
            std::fprintf(stderr, " %s", name.c_str());
        std::fprintf(stderr, "\n");
        return 64;
    }
    if (const char* log = std::getenv("KEL_LOG"))
        log_path = strdup(log);
    const std::vector<std::string> args(argv + first + 1, argv + argc);
    interrupt_setup(end_interrupted_run);
    // Outside the simulated host the printk levels are the real machine's:
    // a test must never change them.
    if (!plain)
        enter_full_screen(std::getenv("KEL_SIM_STATE") == nullptr);
    const int result = scenes()[argv[first]](args);
    leave_full_screen();
    std::printf("RESULT %d\n", result);
    return result;
}
