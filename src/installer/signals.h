// Ending on SIGINT, SIGTERM or SIGHUP as a terminated program should.
#pragma once

// From here on those signals restore the terminal and the console level,
// log "Exiting with code 128+N" and end the process by the same signal.
void install_exit_signals();
