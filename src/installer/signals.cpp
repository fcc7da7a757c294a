#include "installer/signals.h"

#include <newt.h>
#include <signal.h>

#include <csignal>
#include <cstring>
#include <ctime>

#include "exec/log.h"
#include "exec/text.h"
#include "installer/state.h"
#include "screens/screen.h"

namespace {

void on_exit_signal(int sig) {
    // The screen library resets the terminal from its own signal handlers
    // too; everything else here is plain system calls.
    if (innewt)
        newtFinished();
    restore_console_level();
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
    // The time zone is read now, so the handler's time stamp needs no file.
    tzset();
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = on_exit_signal;
    sigfillset(&sa.sa_mask);
    sa.sa_flags = SA_RESETHAND | SA_NODEFER;
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        sigaction(sig, &sa, nullptr);
}
