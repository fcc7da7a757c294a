// Scenes of the optional product checks; run them from the bundle root.
// What they report besides the result is printed when the process ends.
#include <cstdio>
#include <string>

#include "installer/product_checks.h"
#include "installer/state.h"
#include "scene.h"
#include "scene_report.h"

namespace {
installAction actionNamed(const std::string& name) {
    if (name == "upgrade")
        return ACTION_UPGRADE;
    if (name == "remove")
        return ACTION_REMOVE;
    return ACTION_INSTALL;
}
}  // namespace

// check_running_halcrest [install|upgrade|remove]
KEL_SCENE(check_running_halcrest) {
    action = actionNamed(args.empty() ? "install" : args[0]);
    return check_running_halcrest();
}

KEL_SCENE(check_hardware_virtualization) {
    return check_hardware_virtualization();
}

KEL_SCENE(check_cpu_amd64) {
    return check_cpu_amd64();
}

// check_conflicts: reports the action it leaves behind.
KEL_SCENE(check_conflicts) {
    action = ACTION_INSTALL;
    const int r = check_conflicts();
    sceneReport("action=%d\n", static_cast<int>(action));
    return r;
}

// ask_xen_installation: *is_xen starts at -1.
KEL_SCENE(ask_xen_installation) {
    int is_xen = -1;
    sceneReport("asked\n");
    ask_xen_installation(&is_xen);
    sceneReport("is_xen=%d\n", is_xen);
    return 0;
}

// file_exists PATH
KEL_SCENE(file_exists) {
    return file_exists(args.at(0).c_str());
}
