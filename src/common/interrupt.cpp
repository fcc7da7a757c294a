#include "common/interrupt.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

int wake[2] = {-1, -1};
std::atomic<int> first_signal{0};
std::atomic<const char*> lost_reason{nullptr};
std::atomic<bool> watched{false};
std::atomic<InterruptExit> leave_run{nullptr};
std::atomic<bool> abandoned{false};

void wake_up() {
    const int saved = errno;
    const char byte = 1;
    // Non-blocking: once the pipe holds a byte, more add nothing.
    if (wake[1] >= 0 && write(wake[1], &byte, 1) < 0) {
    }
    errno = saved;
}

void on_exit_signal(int sig) {
    int none = 0;
    first_signal.compare_exchange_strong(none, sig);
    wake_up();
}

}  // namespace

void interrupt_setup(InterruptExit leave) {
    leave_run.store(leave);
    if (wake[0] < 0 && pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0)
        wake[0] = wake[1] = -1;
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = on_exit_signal;
    sigfillset(&sa.sa_mask);
    // A system call in progress goes on; the main thread learns of the
    // signal from the pipe, wherever it waits.
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        // A signal ignored by whoever started us (nohup, a background job)
        // stays ignored.
        struct sigaction old;
        if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN)
            continue;
        sigaction(sig, &sa, nullptr);
    }
}

int interrupt_fd() {
    return wake[0];
}

int interrupt_signal() {
    return first_signal.load();
}

bool interrupt_pending() {
    return first_signal.load() != 0 || lost_reason.load() != nullptr;
}

void watch_terminal(bool on) {
    watched.store(on);
}

bool terminal_watched() {
    return watched.load();
}

void terminal_lost(const char* why) {
    const char* none = nullptr;
    lost_reason.compare_exchange_strong(none, why);
    wake_up();
}

const char* terminal_lost_reason() {
    return lost_reason.load();
}

bool terminal_gone() {
    if (lost_reason.load())
        return true;
    if (!watched.load())
        return false;
    // No events asked for: only a hang-up or an error is reported, and
    // nothing is read, so no key the user typed is taken.
    pollfd in = {STDIN_FILENO, 0, 0};
    if (poll(&in, 1, 0) == 1 && (in.revents & (POLLHUP | POLLERR | POLLNVAL))) {
        terminal_lost("the terminal hung up");
        return true;
    }
    return false;
}

void abandon_screen() {
    abandoned.store(true);
}

bool screen_abandoned() {
    return abandoned.load();
}

void interrupt_safe_point() {
    if (first_signal.load() != 0 || terminal_gone())
        interrupt_leave();
}

void end_by_signal(int sig) {
    signal(sig, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, sig);
    pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    raise(sig);
}

void interrupt_leave() {
    if (InterruptExit leave = leave_run.load())
        leave();
    // Nobody owns the exit: end as the signal, or the hang-up, would.
    if (const int sig = first_signal.load())
        end_by_signal(sig);
    std::_Exit(TERMINAL_LOST_EXIT);
}
