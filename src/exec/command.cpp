#include "exec/command.h"

#include <poll.h>
#include <pthread.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>

#include "common/interrupt.h"

#include "exec/log.h"
#include "exec/text.h"

namespace {

// Appends blocks to the caller's text. The caller's pointer is updated on
// every growth, so it stays a valid malloc'ed text whatever happens later.
struct Capture {
    char** mess;
    std::size_t used = 0;
    std::size_t capacity = 0;
    bool failed = false;

    bool append(const char* block, std::size_t n, const char* cmd) {
        if (failed)
            return false;
        if (used + n + 1 > capacity) {
            // Doubling keeps a long output from costing one copy per block.
            std::size_t want = capacity ? capacity : 2 * COMMAND_BLOCK;
            while (want < used + n + 1)
                want *= 2;
            char* grown = static_cast<char*>(std::realloc(*mess, want));
            if (!grown) {
                // What was captured so far stays with the caller, terminated;
                // an earlier command's text must not pass for this one's.
                if (used == 0 && *mess)
                    (*mess)[0] = '\0';
                failed = true;
                write_log("execCmd: out of memory, output of %s is cut after %zu bytes\n", cmd, used);
                return false;
            }
            *mess = grown;
            capacity = want;
        }
        std::memcpy(*mess + used, block, n);
        used += n;
        (*mess)[used] = '\0';
        return true;
    }
};

char running_text[TEXT_BUF];
std::atomic<std::size_t> running_length{0};

}  // namespace

RunningCommand::RunningCommand(const char* cmd) {
    running_length.store(0, std::memory_order_release);
    const std::size_t n = strnlen(cmd, TEXT_BUF - 1);
    std::memcpy(running_text, cmd, n);
    running_length.store(n, std::memory_order_release);
}

RunningCommand::~RunningCommand() {
    running_length.store(0, std::memory_order_release);
}

std::size_t running_command(const char** text) {
    *text = running_text;
    return running_length.load(std::memory_order_acquire);
}

void read_command_output(FILE* stream, const char* cmd, char** mess) {
    char block[COMMAND_BLOCK + 1];
    Capture capture{mess};
    int stuck = 0;
    while (!std::feof(stream)) {
        errno = 0;
        const std::size_t n = std::fread(block, 1, COMMAND_BLOCK, stream);
        const int readErrno = errno;
        if (n > 0) {
            block[n] = '\0';
            if (mess)
                capture.append(block, n, cmd);
            write_log("%s", block);
        }
        if (std::ferror(stream)) {
            write_log("error in reading output of command %s\n", cmd);
            // An interrupted read is retried for as long as it takes; any
            // other error that brings nothing and no end of file may repeat
            // for ever, so it gets a bounded number of tries.
            if (n > 0 || readErrno == EINTR)
                stuck = 0;
            else if (!std::feof(stream) && ++stuck >= COMMAND_READ_RETRIES)
                break;
        }
    }
}

PipePtr open_command(const char* cmd) {
    interrupt_safe_point();
    std::fflush(stdout);
    PipePtr stream(popen(cmd, "r"));
    if (!stream)
        write_log("Error on popen(%s)\n", cmd);
    return stream;
}

namespace {

// Waits for output on the pipe, the wake-up descriptor and, while it is
// watched, the terminal; an interrupt reads as the end of the output.
ssize_t watchedRead(void* cookie, char* buf, std::size_t size) {
    const int fd = static_cast<int>(reinterpret_cast<std::intptr_t>(cookie));
    for (;;) {
        if (interrupt_pending())
            return 0;
        // Nothing asked of the terminal: only a hang-up is reported.
        pollfd fds[3] = {{fd, POLLIN, 0}, {interrupt_fd(), POLLIN, 0}, {STDIN_FILENO, 0, 0}};
        const nfds_t n = terminal_watched() ? 3 : 2;
        // An interrupted wait is an interrupted read to the stream's reader,
        // unless it was an exit signal.
        if (poll(fds, n, -1) < 0)
            return interrupt_pending() ? 0 : -1;
        if (n == 3 && (fds[2].revents & (POLLHUP | POLLERR | POLLNVAL)))
            terminal_lost("the terminal hung up");
        if (fds[1].revents != 0 || interrupt_pending())
            return 0;
        if (fds[0].revents != 0) {
            return read(fd, buf, size);
        }
    }
}

// The spinner is told to stop by the runner; after an interrupt it might be
// caught inside the screen library by a terminal that went away, so it gets a
// bounded wait and is otherwise left behind (the run is ending).
void stop_spinner(pthread_t thread) {
    if (!interrupt_pending()) {
        pthread_join(thread, nullptr);
        return;
    }
    timespec deadline{};
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_sec += 2;
    if (pthread_timedjoin_np(thread, nullptr, &deadline) != 0)
        abandon_screen();
}

}  // namespace

FilePtr watch_output(int fd) {
    cookie_io_functions_t io{};
    io.read = watchedRead;
    return FilePtr(fopencookie(reinterpret_cast<void*>(static_cast<std::intptr_t>(fd)), "r", io));
}

int execCmd3(const char* cmd, char** mess, progressRoutine progress_func, const char* progr_msg) {
    const RunningCommand running(cmd);
    PipePtr stream = open_command(cmd);
    if (!stream)
        return -1;

    progress_func_arg arg;
    pthread_t thread{};
    bool threadStarted = false;
    if (progress_func) {
        arg.is_running = 1;
        copy_cut(arg.message, sizeof arg.message,
                 progr_msg ? progr_msg : _("Please wait while downloading is in progress"));
        const int rc = pthread_create(&thread, nullptr, progress_func, &arg);
        if (rc != 0)
            write_log("can't start thread: %s\n", std::strerror(rc));
        else
            threadStarted = true;
    }

    if (FilePtr output = watch_output(fileno(stream.get())))
        read_command_output(output.get(), cmd, mess);
    else
        read_command_output(stream.get(), cmd, mess);

    // The animation must be off the screen before anyone draws again.
    arg.is_running = 0;
    if (threadStarted)
        stop_spinner(thread);
    // The command is left to run on (it loses the reader of its output); the
    // log names it.
    if (interrupt_pending())
        interrupt_leave();

    const int status = pclose(stream.release());
    if (status == -1) {
        write_log("error in pclose(%s)\n", cmd);
        return -1;
    }
    if (WIFEXITED(status)) {
        write_log("execCmd: %s [%d]\n", cmd, WEXITSTATUS(status));
        return WEXITSTATUS(status);
    }
    if (WIFSIGNALED(status)) {
        write_log("command %s got signal %d\n", cmd, WTERMSIG(status));
        return -1;
    }
    write_log("execCmd: %s\n", cmd);
    return -1;
}

int execCmd2(const char* cmd, char** mess) {
    return execCmd3(cmd, mess, nullptr, nullptr);
}

int execCmd(const char* cmd) {
    return execCmd2(cmd, nullptr);
}

CapturedText::~CapturedText() {
    std::free(text);
}
