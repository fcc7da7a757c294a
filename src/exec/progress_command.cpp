#include "exec/progress_command.h"

#include <sys/wait.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "common/interrupt.h"
#include "exec/command.h"
#include "exec/log.h"
#include "exec/text.h"
#include "screens/progress.h"

namespace {

// Percentage of this run: the (up to) three characters after the bracket,
// read as "%i" reads them; 0 when they hold no number.
int run_percentage(const char* line) {
    char digits[4] = {};
    for (int i = 0; i < 3 && line[1 + i] != '\0'; ++i)
        digits[i] = line[1 + i];
    int p = 0;
    if (std::sscanf(digits, "%i", &p) != 1)
        p = 0;
    return p;
}

}  // namespace

bool read_progress_line(const char* line, progress_data* progr) {
    if (line[0] != '[')
        return false;
    const int p = run_percentage(line);
    // Several runs of the tool share one scale: run `part` covers its own
    // slice of it.
    progr->progress = progr->num_parts > 1 ? (progr->part * 100 + p) / progr->num_parts : p;
    copy_cut(progr->message, sizeof progr->message, std::strlen(line) > 7 ? line + 7 : "");
    return true;
}

void show_progress_data(int progress_type, progress_data* progr) {
    if (!progr || !innewt || !progr->data)
        return;
    switch (progress_type) {
    case PROGRESS_START:
        prepStart(100, get_action_name(progr->action));
        break;
    case PROGRESS_UPDATE:
        prepUpdate(progr->progress);
        break;
    case PROGRESS_STOP:
        prepStop();
        break;
    default:
        break;
    }
}

int exec_with_progress(const char* cmd, progress_data* progr, char* output_buf, std::size_t output_buf_size) {
    std::size_t room = output_buf ? output_buf_size : 0;
    char* out = output_buf;
    if (room > 0)
        out[0] = '\0';

    // One scale spans all runs of a multi-part operation: the first opens
    // it, the last closes it.
    if (progr->num_parts == 1 || progr->part == 0)
        show_progress_data(PROGRESS_START, progr);

    const RunningCommand running(cmd);
    PipePtr stream = open_command(cmd);
    if (!stream)
        return -1;

    FilePtr watched = watch_output(fileno(stream.get()));
    FILE* output = watched ? watched.get() : stream.get();
    char line[TEXT_BUF];
    for (;;) {
        errno = 0;
        if (!std::fgets(line, sizeof line, output)) {
            if (std::feof(output))
                break;
            if (errno == EINTR) {
                std::clearerr(output);
                continue;
            }
            break;
        }
        if (room > 1) {
            // Cut to the room left; the copy stays terminated.
            copy_cut(out, room, line);
            const std::size_t appended = std::strlen(out);
            out += appended;
            room -= appended;
        }
        for (char* nl = std::strchr(line, '\n'); nl; nl = std::strchr(nl + 1, '\n'))
            *nl = ' ';
        if (read_progress_line(line, progr))
            show_progress_data(PROGRESS_UPDATE, progr);
    }

    // The tool is left to run on; the log names it.
    if (interrupt_pending())
        interrupt_leave();

    const int status = pclose(stream.release());
    if (status == -1) {
        write_log("error in pclose(%s)\n", cmd);
        return -1;
    }
    int result = -1;
    if (WIFEXITED(status)) {
        result = WEXITSTATUS(status);
        write_log("exec_with_progress: %s %d\n", cmd, result);
    } else if (WIFSIGNALED(status)) {
        write_log("command %s got signal %d\n", cmd, WTERMSIG(status));
    }

    if (progr->num_parts == 1 || progr->part == progr->num_parts - 1)
        show_progress_data(PROGRESS_STOP, progr);
    return result;
}
