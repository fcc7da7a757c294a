#include "screens/progress.h"

#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "common/interrupt.h"
#include "exec/command.h"
#include "exec/text.h"
#include "installer/state.h"
#include "screens/screen.h"

namespace {

// The preparation window; at most one at a time, main thread only.
newtComponent prepScale = nullptr;
newtComponent prepForm = nullptr;

// "%3lu%%" in a 5-byte buffer: 100 fills it exactly.
void setPercent(newtComponent label, unsigned long percent) {
    char text[5];
    std::snprintf(text, sizeof text, "%3lu%%", std::min(percent, 100UL));
    newtLabelSetText(label, text);
}

// (a * 100 + b * c) / transTotalSize(), at most 100. A product too large
// for 64 bits is far beyond 100 per cent anyway.
unsigned long cappedPercent(unsigned long a, unsigned long b, unsigned long c) {
    unsigned long scaled = 0;
    unsigned long extra = 0;
    unsigned long sum = 0;
    if (__builtin_mul_overflow(a, 100UL, &scaled) || __builtin_mul_overflow(b, c, &extra) ||
        __builtin_add_overflow(scaled, extra, &sum))
        return 100;
    return std::min(sum / static_cast<unsigned long>(transTotalSize()), 100UL);
}

// amount * 100 / max(amount, total): never above 100.
unsigned long packagePercent(unsigned long amount, unsigned long total) {
    // Nothing known about a package of no size yet: show it as not started.
    if (amount == 0)
        return 0;
    if (amount >= total)
        return 100;
    unsigned long scaled = 0;
    if (!__builtin_mul_overflow(amount, 100UL, &scaled))
        return scaled / total;
    return amount / (total / 100);
}

const char* orEmpty(const char* s) {
    return s ? s : "";
}

}  // namespace

void prepStart(long long fullValue, const char* title) {
    if (!innewt) {
        if (title)
            std::printf("%s\n", title);
        return;
    }
    // A second start would strand the first window on the screen.
    if (prepForm)
        prepStop();
    const int cols = fitWindowCols(50);
    openCenteredWindow(cols, 3, title);
    prepScale = newtScale(1, 1, cols - 2, fullValue);
    prepForm = newtForm(nullptr, nullptr, 0);
    newtFormAddComponent(prepForm, prepScale);
    newtDrawForm(prepForm);
    newtRefresh();
}

void prepUpdate(long long amount) {
    if (!prepScale)
        return;
    // The scale counts unsigned; a negative value would read as full.
    newtScaleSet(prepScale, static_cast<unsigned long long>(std::max(amount, 0LL)));
    newtRefresh();
}

void prepStop() {
    // Without a window of its own this would pop somebody else's.
    if (!innewt || !prepForm)
        return;
    newtFormDestroy(prepForm);
    newtPopWindow();
    prepForm = nullptr;
    prepScale = nullptr;
}

void* winSimpleProgress(const char* title) {
    if (!innewt) {
        if (title)
            std::printf("%s\n", title);
        return nullptr;
    }
    auto* data = static_cast<progWinData*>(std::calloc(1, sizeof(progWinData)));
    if (!data)
        Error(1, "%s", _("Memory allocation failed"));
    data->form = newtForm(nullptr, nullptr, 0);
    newtDrawForm(data->form);
    newtRefresh();
    return data;
}

void winStatus(int width, int height, const char* title, const char* text, ...) {
    std::string shown;
    va_list ap;
    va_start(ap, text);
    try {
        shown = vstrfmt(text, ap);
    } catch (const std::bad_alloc&) {
        // The window still opens, so the caller's winStatusStop pops it.
        shown.clear();
    }
    va_end(ap);

    if (!innewt) {
        std::fputs(shown.c_str(), stdout);
        return;
    }
    const int cols = fitWindowCols(width);
    newtCenteredWindow(cols, height, title);
    newtComponent box = newtTextbox(1, 1, cols - 2, height - 2, NEWT_FLAG_WRAP);
    newtTextboxSetText(box, shown.c_str());
    newtComponent form = newtForm(nullptr, nullptr, 0);
    newtFormAddComponent(form, box);
    newtDrawForm(form);
    newtRefresh();
    newtFormDestroy(form);
}

void winStatusStop() {
    if (!innewt) {
        std::fputs(_("Done\n"), stdout);
        return;
    }
    newtPopWindow();
}

newtGrid createScaleBar(const char* text, int width, newtComponent* scale, newtComponent* label) {
    if (!innewt) {
        std::printf("%s\n", text);
        return nullptr;
    }
    const int textWidth = static_cast<int>(std::strlen(text));
    newtGrid grid = newtCreateGrid(1, 2);
    newtGrid top = newtCreateGrid(2, 1);
    newtComponent caption = newtTextbox(-1, -1, textWidth, 1, 0);
    newtTextboxSetText(caption, text);
    // The margin puts the percentage at the scale's right end.
    newtGridSetField(top, 0, 0, NEWT_GRID_COMPONENT, caption, 0, 0, std::max(width - textWidth - 4, 0), 0,
                     NEWT_ANCHOR_LEFT, 0);
    *label = newtLabel(-1, -1, _("  0%"));
    newtGridSetField(top, 1, 0, NEWT_GRID_COMPONENT, *label, 0, 0, 0, 0, NEWT_ANCHOR_RIGHT, 0);
    newtGridSetField(grid, 0, 0, NEWT_GRID_SUBGRID, top, 0, 0, 0, 0, 0, 0);
    *scale = newtScale(-1, -1, width, 100);
    newtGridSetField(grid, 0, 1, NEWT_GRID_COMPONENT, *scale, 0, 0, 0, 0, 0, 0);
    return grid;
}

void* winProgress(const char* title) {
    const char* rowLabels[3] = {_("Name:"), _("Size:"), _("Summary:")};
    if (!innewt) {
        std::printf("%s\n", orEmpty(title));
        return nullptr;
    }
    auto* data = static_cast<progWinData*>(std::calloc(1, sizeof(progWinData)));
    if (!data)
        Error(1, "%s", _("Screwed up"));
    data->f = showProgress;
    for (const char* rowLabel : rowLabels)
        data->len = std::max(data->len, static_cast<int>(std::strlen(rowLabel)));

    newtGrid grid = newtCreateGrid(1, 4);
    newtGrid rows = newtCreateGrid(2, 3);
    newtComponent* values[3] = {&data->name, &data->size, &data->summary};
    for (int i = 0; i < 3; ++i) {
        newtGridSetField(rows, 0, i, NEWT_GRID_COMPONENT, newtLabel(-1, -1, rowLabels[i]), 0, 0, 1, 0,
                         NEWT_ANCHOR_LEFT, 0);
        *values[i] = i < 2 ? newtLabel(-1, -1, "") : newtTextbox(-1, -1, 59 - data->len, 2, NEWT_FLAG_WRAP);
        newtGridSetField(rows, 1, i, NEWT_GRID_COMPONENT, *values[i], 0, 0, 0, 0, NEWT_ANCHOR_LEFT,
                         i == 2 ? NEWT_GRID_FLAG_GROWY : 0);
    }
    newtGridSetField(grid, 0, 0, NEWT_GRID_SUBGRID, rows, 0, 0, 0, 0, 0, 0);
    newtGridSetField(grid, 0, 1, NEWT_GRID_SUBGRID,
                     createScaleBar(_("Package progress"), 60, &data->pkgscale, &data->pkgpercent), 0, 1, 0, 0, 0,
                     0);
    newtGridSetField(grid, 0, 2, NEWT_GRID_SUBGRID,
                     createScaleBar(_("Overall progress"), 60, &data->totalscale, &data->totalpercent), 0, 1, 0,
                     0, 0, 0);

    openGridWindow(grid, orEmpty(title));
    data->form = newtForm(nullptr, nullptr, 0);
    newtGridAddComponentsToForm(grid, data->form, 1);
    newtGridFree(grid, 1);
    newtDrawForm(data->form);
    newtRefresh();
    return data;
}

void winProgressUpdate(void* data, int len, const char* name, const char* size, const char* summary) {
    if (!innewt) {
        std::printf("%s\n", orEmpty(name));
        return;
    }
    auto* win = static_cast<progWinData*>(data);
    if (!win)
        return;
    newtScaleSet(win->pkgscale, 0);
    setPercent(win->pkgpercent, 0);

    win->curSize += win->oldSize;
    win->oldSize = static_cast<unsigned long>(len);
    const unsigned long total = cappedPercent(win->curSize, 0, 0);
    setPercent(win->totalpercent, total);
    newtScaleSet(win->totalscale, total);

    newtLabelSetText(win->name, orEmpty(name));
    newtLabelSetText(win->size, orEmpty(size));

    // Drawn over the "Summary:" row; the window's own box stays as it is.
    newtComponent form = newtForm(nullptr, nullptr, 0);
    newtComponent box = newtTextbox(win->len + 2, 3, 58 - win->len, 2, NEWT_FLAG_WRAP);
    newtTextboxSetText(box, orEmpty(summary));
    newtFormAddComponent(form, box);
    newtDrawForm(form);
    newtRefresh();
    newtFormDestroy(form);
}

void winProgressUpdatePkg(void* data, const unsigned long amount, const unsigned long total) {
    auto* win = static_cast<progWinData*>(data);
    if (!innewt || !win)
        return;
    const unsigned long pkg = packagePercent(amount, total);
    setPercent(win->pkgpercent, pkg);
    newtScaleSet(win->pkgscale, pkg);

    const unsigned long overall = cappedPercent(win->curSize, win->oldSize, pkg);
    setPercent(win->totalpercent, overall);
    newtScaleSet(win->totalscale, overall);
    newtRefresh();
}

void winProgressStop(void* data) {
    auto* win = static_cast<progWinData*>(data);
    if (!innewt || !win)
        return;
    newtFormDestroy(win->form);
    newtPopWindow();
    std::free(win);
}

void showProgress(int type, void* data, const unsigned long amount, const unsigned long total, int len,
                  const char* name, const char* size, const char* summary) {
    switch (type) {
    case 1:
        prepStart(static_cast<long long>(total), _("Preparing to install"));
        break;
    case 2:
        prepStop();
        break;
    case 3:
        prepUpdate(static_cast<long long>(amount));
        break;
    case 4:
        winProgressUpdate(data, len, name, size, summary);
        break;
    case 5:
        winProgressUpdatePkg(data, amount, total);
        break;
    default:
        break;
    }
}

long long transTotalSize() {
    return 1;
}

void* progress_func(void* arg) {
    auto* shared = static_cast<progress_func_arg*>(arg);
    if (!innewt)
        return nullptr;
    char p_symbol[2] = "|";
    do {
        // The main thread ends an interrupted run once this thread is gone;
        // a window opened on a terminal that went away would never return.
        if (interrupt_pending() || terminal_gone())
            break;
        switch (p_symbol[0]) {
        case '|':
            p_symbol[0] = '/';
            break;
        case '/':
            p_symbol[0] = '-';
            break;
        case '-':
            p_symbol[0] = '\\';
            break;
        default:
            p_symbol[0] = '|';
            break;
        }
        winStatus(50, 5, nullptr, _("%s %s"), shared->message, p_symbol);
        usleep(200000);
        winStatusStop();
    } while (shared->is_running);
    return nullptr;
}
