#include "installer/signals.h"

#include <newt.h>
#include <pthread.h>
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

// The first exit signal received; 0 until then.
std::atomic<int> ending{0};
pthread_t main_thread;

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

// Set by whichever thread leaves full-screen mode and ends the run.
std::atomic<bool> cleaning{false};

void end_by_signal(int sig) {
    if (cleaning.exchange(true))
        return;
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
    // End by the same signal so a parent sees a signal death. In the handler
    // it stays blocked until the handler returns; on the spinner thread, which
    // runs with it blocked, it must be let through. Only now, so that a second
    // signal during the cleanup cannot cut it short.
    signal(sig, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, sig);
    if (pthread_equal(pthread_self(), main_thread) == 0)
        pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    raise(sig);
}

void end_by_pending_signal() {
    end_by_signal(ending.load());
}

void on_exit_signal(int sig) {
    int first = 0;
    if (!ending.compare_exchange_strong(first, sig)) {
        // The spinner has yet to do the cleanup: it ends by the first signal.
        if (!cleaning.load() && spinner_drawing.load())
            return;
        // Pending while the first was handled: the cleanup is done.
        signal(first, SIG_DFL);
        raise(first);
        return;
    }
    // The spinner thread is drawing: leaving full-screen mode now would pull
    // the screen from under it. It ends the run between two frames.
    spinner_interrupt.store(end_by_pending_signal);
    if (spinner_drawing.load())
        return;
    end_by_signal(sig);
}

}  // namespace

void install_exit_signals() {
    // The time zone is read now, and a first stamp taken, so that the
    // handler's time stamp needs neither a file nor a lock.
    tzset();
    main_thread = pthread_self();
    char stamp[64];
    get_date(stamp, sizeof stamp);
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = on_exit_signal;
    sigfillset(&sa.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        // A signal ignored by whoever started us (nohup, a background job)
        // stays ignored.
        struct sigaction old;
        if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN)
            continue;
        sigaction(sig, &sa, nullptr);
    }
}
