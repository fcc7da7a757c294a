// Scenes of the input dialogs. What a scene reports beyond its result is
// printed when the process ends, after full-screen mode is gone, so it can
// be read in the terminal (and also after an exit through insExit).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "installer/state.h"
#include "scene.h"
#include "scene_report.h"
#include "screens/input.h"
#include "screens/screen.h"

namespace {

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

std::unique_ptr<FILE, FileCloser> openArg(const std::vector<std::string>& args) {
    FILE* f = std::fopen(args.at(0).c_str(), "r");
    if (!f) {
        std::perror(args.at(0).c_str());
        std::exit(66);
    }
    return std::unique_ptr<FILE, FileCloser>(f);
}

}  // namespace

// getProxyUserPassInput TITLE: the record starts as "untouched" in both fields.
KEL_SCENE(getProxyUserPassInput) {
    auth_pair pair;
    copy_cut(pair.userName, sizeof pair.userName, "untouched");
    copy_cut(pair.userPassword, sizeof pair.userPassword, "untouched");
    const int r = getProxyUserPassInput(args.empty() ? nullptr : args[0].c_str(), &pair);
    sceneReport("user=[%s]\npassword=[%s]\n", pair.userName, pair.userPassword);
    return r;
}

KEL_SCENE(WrongProxyCredentialsMessage) {
    return WrongProxyCredentialsMessage();
}

// read_stdin PROMPT
KEL_SCENE(read_stdin) {
    char* line = read_stdin(args.at(0).c_str());
    if (line)
        sceneReport("line=[%s]\n", line);
    else
        sceneReport("line=NULL\n");
    std::free(line);
    return 0;
}

// layoutTextFromFile FILE: the text box is shown in a dialog of its own.
KEL_SCENE(layoutTextFromFile) {
    auto file = openArg(args);
    newtComponent box = layoutTextFromFile(file.get());
    if (!box)
        return 1;
    baseDialog("File text", nullptr, nullptr, box, "Close", nullptr, 0);
    return 0;
}

// depDialog FILE: *retry starts at 0.
KEL_SCENE(depDialog) {
    auto file = openArg(args);
    int retry = 0;
    const int r = depDialog(file.get(), &retry);
    sceneReport("retry=%d\n", retry);
    return r;
}

// missedPackages NAME...
KEL_SCENE(missedPackages) {
    std::vector<const char*> lines;
    for (const auto& a : args)
        lines.push_back(a.c_str());
    lines.push_back(nullptr);
    missedPackages(lines.data());
    return 0;
}
