// Exit signals and a lost terminal, turned into one wake-up that the main
// thread waits on beside its own input. A signal handler only records the
// signal and writes to a pipe; the run is ended later, on the main thread, at
// a safe point: a form watching interrupt_fd(), a reader polling it beside a
// command's output, the spinner between two frames.
#pragma once

// The one way out after an interrupt, provided by the layer that owns the
// screen; it never returns.
using InterruptExit = void (*)();

// Installs the handlers of SIGINT, SIGTERM and SIGHUP (a signal ignored when
// the installer started stays ignored), opens the wake-up pipe and records
// the way out.
void interrupt_setup(InterruptExit leave);

// Readable from the first exit signal or lost terminal on; -1 before setup.
int interrupt_fd();

// The first exit signal received, or 0.
int interrupt_signal();

// Whether the run has to end: an exit signal came or the terminal was lost.
bool interrupt_pending();

// While watched (full-screen mode), a hang-up or a failed read of the
// terminal ends the run. Unattended runs do not need one.
void watch_terminal(bool on);
bool terminal_watched();

// Records that the terminal is gone (why: for the log) and wakes the main
// thread. Safe on any thread; the first reason is kept.
void terminal_lost(const char* why);
// The recorded reason, or null while the terminal is there.
const char* terminal_lost_reason();

// Checks the watched terminal without reading from it: a hang-up is recorded
// through terminal_lost. True when it is gone.
bool terminal_gone();

// A thread that draws was left inside the screen library when the run was
// interrupted: the way out must not use the screen library any more.
void abandon_screen();
bool screen_abandoned();

// A safe point on the main thread: an interrupt, or a watched terminal that
// has gone, ends the run here. Returns when the run may go on.
void interrupt_safe_point();

// The exit status of a run that lost its terminal without a hang-up signal:
// what a shell reports for a hang-up.
inline constexpr int TERMINAL_LOST_EXIT = 129;

// Ends the process by sig, as its default action does, so that a parent sees
// a signal death; returns only where something else keeps sig blocked.
void end_by_signal(int sig);

// Ends the run through the recorded way out.
[[noreturn]] void interrupt_leave();
