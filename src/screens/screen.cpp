#include "screens/screen.h"

#include <fcntl.h>
#include <signal.h>
#include <slang.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include "common/interrupt.h"
#include "exec/command.h"
#include "exec/log.h"
#include "exec/text.h"
#include "installer/state.h"

int width = 60;
int console_levels[4] = {0, 0, 0, 0};

namespace {

std::pair<int, int> screenSize() {
    int cols = 0;
    int rows = 0;
    newtGetScreenSize(&cols, &rows);
    return {cols, rows};
}

// A reflowed text and its size.
struct Flowed {
    std::string text;
    int cols = 0;
    int rows = 0;
};

// Reflows to about target columns (flex less or more), so that even the
// widest line the reflow may choose stays within cols columns.
Flowed reflowWithin(const char* text, int target, int flex, int cols) {
    if (target + flex > cols) {
        target = std::max(cols - flex, 1);
        flex = std::min(flex, target - 1);
    }
    Flowed f;
    char* flowed = newtReflowText(const_cast<char*>(text), target, flex, flex, &f.cols, &f.rows);
    if (flowed)
        f.text = flowed;
    std::free(flowed);
    return f;
}

}  // namespace

int dialogContentCols() {
    return std::max(screenSize().first - 4, 1);
}

int fitWidth(int standard) {
    // A row of two buttons built for a width is one column narrower.
    return std::min(standard, dialogContentCols() + 1);
}

int fitWindowCols(int standard) {
    return std::max(std::min(screenSize().first - 2, standard), 1);
}

newtComponent reflowedBox(const char* text, int target, int maxRows, int extraRows, int flex) {
    Flowed f = reflowWithin(text, target, flex, dialogContentCols());
    int flags = NEWT_FLAG_WRAP;
    if (maxRows > 0 && f.rows > maxRows) {
        // The scroll bar takes two columns beside the text.
        if (f.cols + 2 > dialogContentCols())
            f = reflowWithin(text, target, flex, dialogContentCols() - 2);
        f.rows = maxRows;
        flags |= NEWT_FLAG_SCROLL;
    }
    newtComponent box = newtTextbox(-1, -1, f.cols, f.rows + extraRows, flags);
    newtTextboxSetText(box, f.text.c_str());
    return box;
}

int reflowedRows(const char* text, int target, int flex) {
    return reflowWithin(text, target, flex, dialogContentCols()).rows;
}

int dialogTextRows(int otherRows) {
    const int rows = screenSize().second;
    // Header and help line, the window's border and inner margin, its shadow.
    const int fit = rows - 7 - otherRows;
    return fit > 0 ? fit : 1;
}

namespace {

// This C library has no sysctl(); the same four values live in procfs.
bool read_printk(int levels[4]) {
    FILE* f = std::fopen(PRINTK_PATH, "r");
    if (!f)
        return false;
    const int n = std::fscanf(f, "%d %d %d %d", &levels[0], &levels[1], &levels[2], &levels[3]);
    std::fclose(f);
    return n == 4;
}

void write_printk(const int levels[4]) {
    char text[64];
    std::size_t n = 0;
    for (int i = 0; i < 4; ++i) {
        n += format_decimal(text + n, levels[i]);
        text[n++] = i < 3 ? '\t' : '\n';
    }
    const int fd = open(PRINTK_PATH, O_WRONLY | O_TRUNC);
    if (fd < 0)
        return;
    if (write(fd, text, n) < 0) {
        // Nothing to do: a level that cannot be written stays as it is.
    }
    close(fd);
}

}  // namespace

newtComponent runForm(newtComponent form) {
    newtFormAddHotKey(form, NEWT_KEY_ESCAPE);
    if (interrupt_fd() >= 0)
        newtFormWatchFd(form, interrupt_fd(), NEWT_FD_READ);
    newtExitStruct end{};
    newtFormRun(form, &end);
    // An answer counts only when nothing ended the run meanwhile.
    if (!interrupt_pending()) {
        if (end.reason == newtExitStruct::NEWT_EXIT_COMPONENT)
            return end.u.co;
        if (end.reason == newtExitStruct::NEWT_EXIT_HOTKEY)
            return form;
    }
    // The screen library reports end of input and failed reads alike.
    if (end.reason == newtExitStruct::NEWT_EXIT_ERROR)
        terminal_lost("reading the terminal failed");
    interrupt_leave();
}

void openGridWindow(newtGrid grid, const char* title) {
    interrupt_safe_point();
    newtGridWrappedWindow(grid, const_cast<char*>(title));
}

void openCenteredWindow(int width, int height, const char* title) {
    interrupt_safe_point();
    newtCenteredWindow(width, height, title);
}

std::string terminal_unusable() {
    std::string why;
    const char* term = std::getenv("TERM");
    if (!isatty(STDIN_FILENO)) {
        why = _("Standard input is not a terminal.");
    } else if (!isatty(STDOUT_FILENO)) {
        why = _("Standard output is not a terminal.");
    } else if (!term || !*term) {
        why = _("TERM is not set.");
    } else {
        // The screen library's own check, made before it could end the
        // process over it.
        const int known = SLtt_initialize(const_cast<char*>(term));
        if (known == -1) {
            why = bfmt(TEXT_BUF, _("The terminal type \"%s\" is not known on this system."), term);
        } else if (known != 0) {
            why = bfmt(TEXT_BUF, _("The terminal type \"%s\" cannot draw the installer's screens."), term);
        } else {
            SLtt_get_screen_size();
            if (SLtt_Screen_Cols < MIN_SCREEN_COLS || SLtt_Screen_Rows < MIN_SCREEN_ROWS)
                why = bfmt(TEXT_BUF,
                           _("The terminal has %d columns and %d rows; the installer's screens need at least %d "
                             "columns and %d rows."),
                           SLtt_Screen_Cols, SLtt_Screen_Rows, MIN_SCREEN_COLS, MIN_SCREEN_ROWS);
        }
    }
    if (why.empty())
        return why;
    return why + "\n" +
        _("Run the installer from a terminal, with TERM set to its type, or use --install or --remove for an "
          "unattended run.");
}

namespace {

// The screen library ends the process on a terminal it cannot drive; this
// hook, armed while it starts, ends it through the orderly way instead.
void screenLibraryFailed(char* format, va_list ap) {
    va_list copy;
    va_copy(copy, ap);
    const std::string message = vstrfmt(format, copy);
    va_end(copy);
    Error(2, "%s", message.c_str());
}

}  // namespace

void enter_full_screen(bool keepConsoleLevel) {
    if (!keepConsoleLevel)
        setup_console_level();
    SLang_Exit_Error_Hook = screenLibraryFailed;
    newtInit();
    SLang_Exit_Error_Hook = nullptr;
    newtCls();
    innewt = 1;
    watch_terminal(true);
    show_header();
}

void leave_full_screen() {
    // A spinner thread stuck in the screen library still holds it.
    if (innewt && !screen_abandoned())
        newtFinished();
    restore_console_level();
}

void end_interrupted_run() {
    int sig = interrupt_signal();
    // A hang-up nobody has noticed yet is still named in the log. A lost
    // terminal ends the run as its hang-up signal would, whichever of the
    // two came first; where that signal is ignored, with the same status.
    if (terminal_gone() && sig == 0) {
        struct sigaction hup;
        if (sigaction(SIGHUP, nullptr, &hup) == 0 && hup.sa_handler != SIG_IGN)
            sig = SIGHUP;
    }
    leave_full_screen();
    // The command keeps running on its own (see README); the log says which.
    const char* cmd = nullptr;
    if (const std::size_t len = running_command(&cmd))
        write_log("Interrupted while running: %.*s\n", static_cast<int>(len), cmd);
    if (const char* why = terminal_lost_reason())
        write_log("Lost the terminal: %s\n", why);
    const int code = sig != 0 ? 128 + sig : TERMINAL_LOST_EXIT;
    write_log("Exiting with code %d\n", code);
    if (sig != 0)
        end_by_signal(sig);
    std::exit(code);
}

void setup_console_level() {
    if (!read_printk(console_levels)) {
        for (int& level : console_levels)
            level = 0;
        write_log("Failed to setup console printk level.\n");
        return;
    }
    const int saved = console_levels[0];
    console_levels[0] = console_levels[2] > 3 ? console_levels[2] : 3;
    write_printk(console_levels);
    console_levels[0] = saved;
}

void restore_console_level() {
    if (console_levels[0] == 0)
        return;
    write_printk(console_levels);
}

void addNewtHeader(const char* title) {
    newtPushHelpLine(_("  <Tab> to switch between elements  |  <Space> to select"));
    newtDrawRootText(0, 0, title);
}

void show_header() {
    const std::string header = bfmt(TEXT_BUF, _("%s %d.%d Installer - Copyright (c)%sthe Kelvarin developers"),
                                    PRODUCT_NAME, KEL_VERSION_MAJOR, KEL_VERSION_MINOR, " 2025-2026 ");
    addNewtHeader(header.c_str());
}

int baseDialog(const char* caption, const char* label, const char* label1, newtComponent co,
               const char* button0, const char* button1, int defbutton) {
    newtComponent text1 = label1 ? reflowedBox(label1, 60, 0) : nullptr;
    // The label gets what the rest leaves of the screen: a long message (a
    // tool's list) scrolls instead of pushing the window off the screen.
    int otherRows = 5;
    int w = 0;
    int h = 0;
    if (co) {
        newtComponentGetSize(co, &w, &h);
        otherRows += 1 + h;
    }
    if (text1) {
        newtComponentGetSize(text1, &w, &h);
        otherRows += 1 + h;
    }
    newtComponent text0 = label ? reflowedBox(label, 60, dialogTextRows(otherRows)) : nullptr;
    newtComponent b0 = nullptr;
    newtComponent b1 = nullptr;
    newtGrid buttons = button1
        ? newtButtonBar(const_cast<char*>(button0), &b0, const_cast<char*>(button1), &b1, nullptr)
        : newtButtonBar(const_cast<char*>(button0), &b0, nullptr);

    newtComponent form = newtForm(nullptr, nullptr, 0);
    newtGrid grid = newtCreateGrid(1, 4);
    if (text0)
        newtGridSetField(grid, 0, 0, NEWT_GRID_COMPONENT, text0, 0, 0, 0, 0, NEWT_ANCHOR_LEFT, 0);
    if (co)
        newtGridSetField(grid, 0, 1, NEWT_GRID_COMPONENT, co, 0, 1, 0, 0, 0, 0);
    if (text1)
        newtGridSetField(grid, 0, 2, NEWT_GRID_COMPONENT, text1, 0, 1, 0, 0, NEWT_ANCHOR_LEFT, 0);
    newtGridSetField(grid, 0, 3, NEWT_GRID_SUBGRID, buttons, 0, 1, 0, 0, 0, NEWT_GRID_FLAG_GROWX);
    openGridWindow(grid, caption);
    newtGridAddComponentsToForm(grid, form, 1);
    newtGridFree(grid, 1);

    newtFormSetCurrent(form, (defbutton != 0 && b1) ? b1 : b0);
    FormWindow dialog(form);
    return dialog.run() == b1 && b1 ? 1 : 0;
}

void Error(int errCode, const char* text, ...) {
    va_list ap;
    va_start(ap, text);
    const std::string message = vstrfmt(text, ap);
    va_end(ap);
    // Logged first, so the message is on disk even if nothing can be drawn.
    write_log("Error: %s\n", message.c_str());
    if (!innewt) {
        print_line(stderr, message.c_str());
        insExit(errCode);
    }
    baseDialog(_("Error"), message.c_str(), nullptr, nullptr, _(" Exit "), nullptr, 0);
    insExit(errCode);
}

void insExit(int errcode) {
    leave_full_screen();
    write_log("Exiting with code %d\n", errcode);
    std::exit(errcode);
}

int Cancel(int) {
    return baseDialog(_("Warning"), _("      Are you sure you want to cancel?"), nullptr, nullptr, _(" Yes "),
                      _(" No "), 1) == 0
        ? 1
        : 0;
}

namespace {

void messageBox(const char* mess, const char* button, const char* caption, int target, int extraRow) {
    if (!innewt) {
        print_line(stdout, mess);
        return;
    }
    // At most 6 rows, fewer when the screen has no room for them: the box
    // sits under a blank row and over the button row.
    const int rows = std::min(6, dialogTextRows(6 + extraRow));
    baseDialog(caption, nullptr, nullptr, reflowedBox(mess, target, rows, extraRow), button, nullptr, 0);
}

}  // namespace

void show_message2(const char* mess, const char* button, const char* title) {
    messageBox(mess, button, title ? title : _("Message"), 60, 0);
}

void show_message(const char* mess, const char* button) {
    messageBox(mess, button, _("Message"), 60, 0);
}

void show_strmessage(const char* mess, const char* button) {
    const std::string text = mess ? mess : "";
    const int target = text.size() < 60 ? static_cast<int>(text.size()) : 60;
    messageBox(mess, button, _("Message"), target, 1);
}
