// Scenes of the full-screen base: dialogs, confirmation, message boxes, errors.
#include <cstdlib>
#include <string>

#include "scene.h"
#include "screens/screen.h"

namespace {
const char* arg(const std::vector<std::string>& args, size_t i) {
    return i < args.size() && args[i] != "-" ? args[i].c_str() : nullptr;
}
}  // namespace

// baseDialog CAPTION LABEL LABEL1 BUTTON0 BUTTON1 DEFBUTTON ("-" for null)
KEL_SCENE(baseDialog) {
    return baseDialog(arg(args, 0), arg(args, 1), arg(args, 2), nullptr, arg(args, 3), arg(args, 4),
                      args.size() > 5 ? std::atoi(args[5].c_str()) : 0);
}

KEL_SCENE(Cancel) {
    return Cancel(0);
}

// Error CODE TEXT: never returns.
KEL_SCENE(Error) {
    Error(std::atoi(args.at(0).c_str()), "%s", args.at(1).c_str());
}

// show_message2 TEXT BUTTON TITLE ("-" for a null title)
KEL_SCENE(show_message2) {
    show_message2(arg(args, 0), arg(args, 1), arg(args, 2));
    return 0;
}

KEL_SCENE(show_message) {
    show_message(arg(args, 0), arg(args, 1));
    return 0;
}

KEL_SCENE(show_strmessage) {
    show_strmessage(arg(args, 0), arg(args, 1));
    return 0;
}
