#include "exec/command.h"

#include <pthread.h>
#include <signal.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "exec/log.h"
#include "exec/text.h"
#include "installer/state.h"

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
    std::fflush(stdout);
    PipePtr stream(popen(cmd, "r"));
    if (!stream)
        write_log("Error on popen(%s)\n", cmd);
    return stream;
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
        // The exit signals are handled on this thread only: the spinner
        // thread starts with them blocked.
        sigset_t exitSignals;
        sigset_t saved;
        sigemptyset(&exitSignals);
        for (int sig : {SIGINT, SIGTERM, SIGHUP})
            sigaddset(&exitSignals, sig);
        pthread_sigmask(SIG_BLOCK, &exitSignals, &saved);
        // Only a full-screen spinner draws; a plain one ends at once.
        spinner_drawing = innewt != 0;
        const int rc = pthread_create(&thread, nullptr, progress_func, &arg);
        pthread_sigmask(SIG_SETMASK, &saved, nullptr);
        if (rc != 0) {
            spinner_drawing = false;
            write_log("can't start thread: %s\n", std::strerror(rc));
        } else {
            threadStarted = true;
        }
    }

    read_command_output(stream.get(), cmd, mess);

    // The animation must be off the screen before anyone draws again.
    arg.is_running = 0;
    if (threadStarted) {
        pthread_join(thread, nullptr);
        spinner_drawing = false;
        // A signal that came while the spinner drew and found it gone.
        if (auto finish = spinner_interrupt.load())
            finish();
    }

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

std::atomic<bool> spinner_drawing{false};
std::atomic<void (*)()> spinner_interrupt{nullptr};
