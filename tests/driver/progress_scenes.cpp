// Scenes of the runners and progress windows: the spinner of a slow command,
// the preparation scale driven by progress lines, the package window.
#include <newt.h>
#include <signal.h>
#include <sys/resource.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "exec/command.h"
#include "exec/progress_command.h"
#include "installer/state.h"
#include "scene.h"
#include "screens/progress.h"

namespace {

// Shows how a scene ended and waits for a key, so a test can read the screen
// with every window of the scene already gone.
void finish(const std::string& text) {
    if (!innewt) {
        std::printf("%s\n", text.c_str());
        return;
    }
    newtDrawRootText(0, 1, text.c_str());
    newtRefresh();
    newtWaitForKey();
}

void step(int n) {
    if (!innewt)
        return;
    newtDrawRootText(0, 1, ("step " + std::to_string(n) + "   ").c_str());
    newtRefresh();
    newtWaitForKey();
}

}  // namespace

// spinner MESSAGE COMMAND: runs COMMAND with the spinner thread.
KEL_SCENE(spinner) {
    char* mess = nullptr;
    const int rc = execCmd3(args.at(1).c_str(), &mess, progress_func, args.at(0).c_str());
    std::free(mess);
    finish("finished: rc=" + std::to_string(rc));
    return rc;
}

// prepare ACTION MODE COMMAND...: runs the commands as the parts of one
// operation. MODE: window (a window record), nowindow (none), nopipe (the
// shell cannot be started), noreap (the status cannot be collected).
KEL_SCENE(prepare) {
    const std::string& mode = args.at(1);
    progress.action = args.at(0) == "upgrade" ? ACTION_UPGRADE : ACTION_INSTALL;
    progress.data = mode == "nowindow" ? nullptr : winSimpleProgress(nullptr);
    progress.num_parts = static_cast<int>(args.size()) - 2;
    if (mode == "nopipe") {
        // One free descriptor: enough for the log, not for a pipe.
        const int probe = open("/dev/null", O_RDONLY);
        close(probe);
        const rlimit tight = {static_cast<rlim_t>(probe) + 1, static_cast<rlim_t>(probe) + 1};
        setrlimit(RLIMIT_NOFILE, &tight);
    } else if (mode == "noreap") {
        signal(SIGCHLD, SIG_IGN);
    }
    int rc = 0;
    for (progress.part = 0; progress.part < progress.num_parts && rc == 0; ++progress.part)
        rc = exec_with_progress(args.at(2 + static_cast<size_t>(progress.part)).c_str(), &progress, nullptr, 0);
    // The record's form is ours to destroy as well.
    if (auto* win = static_cast<progWinData*>(progress.data))
        newtFormDestroy(win->form);
    std::free(progress.data);
    progress.data = nullptr;
    finish("finished: rc=" + std::to_string(rc) + " progress=" + std::to_string(progress.progress) + " message=" +
           progress.message);
    return rc < 0 ? 1 : rc;
}

// packages TITLE STEP...: the package window driven through its dispatcher.
// Steps: pkg:NAME:SIZE:LEN:SUMMARY, amt:AMOUNT:TOTAL, wait (shows "step N"
// and waits for a key), stop.
KEL_SCENE(packages) {
    void* data = winProgress(args.at(0).c_str());
    showProgressFn dispatch = data ? static_cast<progWinData*>(data)->f : showProgress;
    int waits = 0;
    for (size_t i = 1; i < args.size(); ++i) {
        std::string s = args[i];
        std::string fields[5];
        int n = 0;
        for (size_t from = 0; n < 5; ++n) {
            const size_t colon = n < 4 ? s.find(':', from) : std::string::npos;
            fields[n] = s.substr(from, colon == std::string::npos ? std::string::npos : colon - from);
            if (colon == std::string::npos)
                break;
            from = colon + 1;
        }
        if (fields[0] == "pkg")
            dispatch(4, data, 0, 0, std::atoi(fields[3].c_str()), fields[1].c_str(), fields[2].c_str(),
                     fields[4].c_str());
        else if (fields[0] == "amt")
            dispatch(5, data, std::strtoul(fields[1].c_str(), nullptr, 10), std::strtoul(fields[2].c_str(), nullptr, 10),
                     0, nullptr, nullptr, nullptr);
        else if (fields[0] == "wait")
            step(++waits);
        else if (fields[0] == "stop")
            winProgressStop(data);
    }
    finish("finished");
    return 0;
}
