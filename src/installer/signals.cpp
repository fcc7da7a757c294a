#include "installer/signals.h"

#include <newt.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <ctime>

#include "exec/command.h"
#include "exec/log.h"
#include "exec/text.h"
#include "installer/state.h"
#include "screens/screen.h"

namespace {

std::atomic<bool> ending{false};

void log_interrupted_command() {
    const char* cmd = nullptr;
    const std::size_t len = running_command(&cmd);
    if (len == 0)
        return;
    static const char head[] = "Interrupted while running: ";
    char line[sizeof head + TEXT_BUF];
    std::memcpy(line, head, sizeof head - 1);
    std::memcpy(line + sizeof head - 1, cmd, len);
    line[sizeof head - 1 + len] = '\n';
    line[sizeof head + len] = '\0';
    write_log_raw(line);
}

void on_exit_signal(int sig) {
    // A second signal may reach the other thread while the first is being
    // handled: the first one ends the process, the second only waits for it.
    if (ending.exchange(true)) {
        for (;;)
            pause();
    }
    // The screen library resets the terminal from its own signal handlers
    // too; everything else here is plain system calls.
    if (innewt)
        newtFinished();
    restore_console_level();
    // The tool keeps running on its own (see README); the log says which.
    log_interrupted_command();
    char line[64] = "Exiting with code ";
    std::size_t n = std::strlen(line);
    n += format_decimal(line + n, 128 + sig);
    line[n++] = '\n';
    line[n] = '\0';
    write_log_raw(line);
    // SA_RESETHAND restored the default action: end by the same signal so a
    // parent sees a signal death.
    raise(sig);
}

}  // namespace

void install_exit_signals() {
    // The time zone is read now, and a first stamp taken, so that the
    // handler's time stamp needs neither a file nor a lock.
    tzset();
    char stamp[64];
    get_date(stamp, sizeof stamp);
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = on_exit_signal;
    sigfillset(&sa.sa_mask);
    sa.sa_flags = SA_RESETHAND | SA_NODEFER;
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        // A signal ignored by whoever started us (nohup, a background job)
        // stays ignored.
        struct sigaction old;
        if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN)
            continue;
        sigaction(sig, &sa, nullptr);
    }
}
