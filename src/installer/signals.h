// Ending on SIGINT, SIGTERM or SIGHUP as a terminated program should.
#pragma once

// From here on those signals restore the terminal and the console level,
// log the command that was running (if any) and "Exiting with code 128+N",
// and end the process by the same signal. A signal that was ignored when the
// installer started (nohup) stays ignored.
void install_exit_signals();
