#include "screens/screen.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

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

// Plain system calls only: the restore also runs from the exit-signal handler.
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
    return newtRunForm(form);
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
    newtGridWrappedWindow(grid, const_cast<char*>(caption));
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
    if (innewt) {
        newtFinished();
        restore_console_level();
    }
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
