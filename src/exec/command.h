// Shell-command runners: exit status, captured output, optional spinner thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <memory>

#include "exec/file.h"

// Shared by the runner and its spinner thread for one call.
typedef struct progress_func_arg_t {
    std::atomic<int> is_running;
    char message[4096];
} progress_func_arg;

// Output is read and logged in blocks of this many bytes.
inline constexpr std::size_t COMMAND_BLOCK = 4095;
// Failed reads in a row, bringing nothing and no end of file, after which
// the output is given up on (an interrupted read does not count).
inline constexpr int COMMAND_READ_RETRIES = 100;

using progressRoutine = void* (*)(void*);

// Exit code 0-255, or -1 when the command cannot be started, its status
// cannot be collected or it was killed. *mess (if given) is a caller-owned
// malloc'ed text, replaced only when the command prints something.
int execCmd3(const char* cmd, char** mess, progressRoutine progress_func, const char* progr_msg);
int execCmd2(const char* cmd, char** mess);
int execCmd(const char* cmd);

// Owns a text captured by the runners and frees it with free().
struct CapturedText {
    char* text = nullptr;
    CapturedText() = default;
    CapturedText(const CapturedText&) = delete;
    CapturedText& operator=(const CapturedText&) = delete;
    ~CapturedText();
};

// The reading loop of execCmd3: reads stream to its end in blocks, logs each
// block and appends it to *mess (if mess is given).
void read_command_output(FILE* stream, const char* cmd, char** mess);

struct PipeCloser {
    void operator()(FILE* f) const { pclose(f); }
};
using PipePtr = std::unique_ptr<FILE, PipeCloser>;

// Starts cmd through the shell with its output to read, after flushing our
// own output: the command's messages must not overtake it, and an exit
// signal while it runs must not lose it. Null (logged) when it cannot start.
// An interrupt (exit signal, lost terminal) ends the run here instead: no
// command starts after one.
PipePtr open_command(const char* cmd);

// Reads a command's output (the descriptor of its pipe) through a stream that
// reaches its end early when the run is interrupted: an exit signal, or the
// watched terminal hanging up. The descriptor stays open.
FilePtr watch_output(int fd);

// The command line a runner is waiting for, kept so that the way out of an
// interrupted run can name it: set while the command runs, cleared after its
// status has been collected.
struct RunningCommand {
    explicit RunningCommand(const char* cmd);
    ~RunningCommand();
    RunningCommand(const RunningCommand&) = delete;
    RunningCommand& operator=(const RunningCommand&) = delete;
};

// The command line a runner is waiting for (cut to 4095 bytes, unterminated)
// and its length; 0 when none runs.
std::size_t running_command(const char** text);
