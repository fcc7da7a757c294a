// Full-screen mode, the error path, the orderly exit and the message boxes.
#pragma once

#include <newt.h>

#include <string>

// Standard dialog width; texts reflow to width - 2.
extern int width;
// printk levels saved before full-screen mode; element 0 non-zero: restore them.
extern int console_levels[4];

// Where the four printk levels are read and written (a stand-in in tests).
inline constexpr const char* PRINTK_PATH = "/proc/sys/kernel/printk";

// The smallest terminal the dialogs are laid out for. Every window of a run is
// whole on it and leaves the header and the help line free: the widest window
// title (German, 37 columns) needs 43 columns with its frame, and the
// Upgrade/Remove list and the message box need 14 rows with one row of text.
inline constexpr int MIN_SCREEN_COLS = 43;
inline constexpr int MIN_SCREEN_ROWS = 14;

void setup_console_level();
void restore_console_level();

// Why full-screen mode cannot run here (translated, with what to do
// instead), or "" when it can: standard input and output are a terminal
// whose type the screen library can drive, of at least the smallest size.
std::string terminal_unusable();

// Full-screen mode on: the console level lowered (unless keepConsoleLevel),
// the screen library started, the header drawn, the terminal watched.
void enter_full_screen(bool keepConsoleLevel = false);
// Full-screen mode off and the console level back, as far as the terminal
// allows. Only right before the process ends.
void leave_full_screen();

// The way out of a run interrupted by an exit signal or a lost terminal:
// leaves full-screen mode, logs the command that was running, the lost
// terminal and the exit code, and ends by the signal (or with the lost
// terminal's status).
[[noreturn]] void end_interrupted_run();
void addNewtHeader(const char* title);
void show_header();

int baseDialog(const char* caption, const char* label, const char* label1, newtComponent co,
               const char* button0, const char* button1, int defbutton);
[[noreturn]] void Error(int errCode, const char* text, ...) __attribute__((format(printf, 2, 3)));
[[noreturn]] void insExit(int errcode);
int Cancel(int err);
void show_message2(const char* mess, const char* button, const char* title);
void show_message(const char* mess, const char* button);
void show_strmessage(const char* mess, const char* button);

// Text box for a dialog text reflowed to about target columns (flex columns
// less or more); scrolls in maxRows rows when taller (0: never capped);
// extraRows are added below. Narrower on a screen too narrow for that: the
// box, its scroll bar included, always fits in a window.
newtComponent reflowedBox(const char* text, int target, int maxRows, int extraRows = 0, int flex = 5);
// The rows the text of such a box takes without scrolling.
int reflowedRows(const char* text, int target, int flex = 5);
// Rows a dialog's text may take when the rest of its window takes otherRows:
// the window then stays between the header and the help line. At least 1.
int dialogTextRows(int otherRows);
// Columns a window's content may take: the screen less the window's border
// and inner margin.
int dialogContentCols();
// A layout width (the standard one: width, or a window's own) as far as the
// screen allows: a button row built for it and a text reflowed to it - 2 fit
// in a window. Unchanged wherever the standard layout fits.
int fitWidth(int standard);
// The width of a window opened directly (no grid), as far as the screen
// allows with its border.
int fitWindowCols(int standard);

// Runs a form once. Escape ends it like F12 (then the form itself is
// returned). Only a key ends it: an exit signal or a lost terminal ends the
// run instead.
newtComponent runForm(newtComponent form);

// Opens a window around grid, titled title, unless the run has to end first:
// opening a window on a terminal that went away would never return.
void openGridWindow(newtGrid grid, const char* title);
void openCenteredWindow(int width, int height, const char* title);

// A form in a window: destroying the guard destroys the form and pops the window.
struct FormWindow {
    newtComponent form;
    explicit FormWindow(newtComponent f) : form(f) {}
    FormWindow(const FormWindow&) = delete;
    FormWindow& operator=(const FormWindow&) = delete;
    ~FormWindow() {
        newtFormDestroy(form);
        newtPopWindow();
    }
    newtComponent run() { return runForm(form); }
};
