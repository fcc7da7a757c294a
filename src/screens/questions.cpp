// Questions and list screens. Questions answer 1 to go on and 0 when
// cancelled; lists answer the chosen entry's id or -1.
#include "screens/questions.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "exec/text.h"
#include "installer/state.h"
#include "screens/buttons.h"
#include "screens/screen.h"

namespace {

int countEntries(const list_s* list) {
    int n = 0;
    while (list && list[n].name)
        ++n;
    return n;
}

// The name shown as current for index def, or null when def is no entry.
const char* entryName(const list_s* list, int count, int def) {
    return def >= 0 && def < count ? list[def].name : nullptr;
}

bool sameName(const char* name, const char* current) {
    return current && std::strcmp(name, current) == 0;
}

// The text, the list part and the button row under one another.
newtComponent listForm(const char* title, newtComponent text, newtGrid list, newtGrid buttons) {
    newtGrid grid = newtCreateGrid(1, 3);
    newtGridSetField(grid, 0, 0, NEWT_GRID_COMPONENT, text, 0, 0, 0, 0, 0, 0);
    newtGridSetField(grid, 0, 1, NEWT_GRID_SUBGRID, list, 0, 0, 0, 0, 0, 0);
    newtGridSetField(grid, 0, 2, NEWT_GRID_SUBGRID, buttons, 0, 1, 0, -1, 0, NEWT_GRID_FLAG_GROWX);
    newtComponent form = newtForm(nullptr, nullptr, 0);
    openGridWindow(grid, title);
    newtGridAddComponentsToForm(grid, form, 1);
    newtGridFree(grid, 1);
    return form;
}

// A sub-form of the given height for the list, with a scroll bar when the
// list is longer than that.
newtComponent listSubform(int count, int height, int colour, newtComponent* scrollbar) {
    *scrollbar = count > height ? newtVerticalScrollbar(-1, -1, height, 9, 14) : nullptr;
    newtComponent sub = newtForm(*scrollbar, nullptr, 0);
    if (colour >= 0)
        newtFormSetBackground(sub, colour);
    newtFormSetHeight(sub, height);
    return sub;
}

// The filled sub-form, widened to width + 10 columns (when width is set), and
// to its right the scroll bar or two blank columns. newt recomputes a form's
// width from its components and moves an empty form to (-1, -1) when drawn,
// so the width and the spacer are grid pads rather than form sizes.
newtGrid besideScrollbar(newtComponent sub, newtComponent scrollbar, int width) {
    newtFormSetSize(sub);
    int w = 0;
    int h = 0;
    newtComponentGetSize(sub, &w, &h);
    const int padRight = width != 0 && width + 10 > w ? width + 10 - w : 0;
    newtGrid grid = newtCreateGrid(2, 1);
    newtGridSetField(grid, 0, 0, NEWT_GRID_COMPONENT, sub, 0, 0, padRight, 0, NEWT_ANCHOR_LEFT, 0);
    if (scrollbar)
        newtGridSetField(grid, 1, 0, NEWT_GRID_COMPONENT, scrollbar, 0, 0, 0, 0, 0, 0);
    else
        newtGridSetField(grid, 1, 0, NEWT_GRID_EMPTY, nullptr, 2, 0, 0, 0, 0, 0);
    return grid;
}

// listBoxGrid, also handing back the sub-form that holds the list box: the
// form it goes in gives the list the focus through it.
newtGrid listBoxGridIn(newtComponent* pListBox, int height, int width, list_s* list, const char* current,
                       newtComponent* sub) {
    const int count = countEntries(list);
    newtComponent scrollbar = nullptr;
    *sub = listSubform(count, height, -1, &scrollbar);
    for (int i = 0; i < count; ++i) {
        newtListboxAppendEntry(*pListBox, list[i].name, reinterpret_cast<const void*>(static_cast<intptr_t>(list[i].id)));
        if (sameName(list[i].name, current))
            newtListboxSetCurrent(*pListBox, i);
    }
    newtFormAddComponent(*sub, *pListBox);
    return besideScrollbar(*sub, scrollbar, width);
}

// Runs a question until it ends other than by `cancel`, or the user confirms
// the cancellation. With confirm off, `cancel` answers at once.
int askUntilDecided(FormWindow& question, newtComponent cancel, bool confirm) {
    for (;;) {
        if (question.run() != cancel)
            return 1;
        if (!confirm || Cancel(0))
            return 0;
    }
}

}  // namespace

newtComponent scrChoiseForm(const char* title, const char* text, newtGrid btns) {
    std::string text_copy = cut(text ? text : "");
    const std::string title_copy = cut(title ? title : "");
    // Below the text: the button row's top margin and its four rows, less
    // the one row of its bottom margin.
    newtComponent box = reflowedBox(text_copy.c_str(), fitWidth(width) - 2, dialogTextRows(4), 0, 0);
    newtGrid grid = newtCreateGrid(1, 2);
    newtGridSetField(grid, 0, 0, NEWT_GRID_COMPONENT, box, 0, 0, 0, 0, NEWT_ANCHOR_LEFT, 0);
    newtGridSetField(grid, 0, 1, NEWT_GRID_SUBGRID, btns, 0, 1, 0, -1, 0, NEWT_GRID_FLAG_GROWX);
    newtComponent form = newtForm(nullptr, nullptr, 0);
    newtGridAddComponentsToForm(grid, form, 1);
    openGridWindow(grid, title_copy.c_str());
    newtGridFree(grid, 1);
    return form;
}

int scrChoise(const char* title, const char* text, int def_btn, int print_in_newt) {
    if (!innewt) {
        if (print_in_newt)
            std::printf("%s\n", text);
        return 1;
    }
    newtComponent next = nullptr;
    newtComponent cancel = nullptr;
    newtGrid buttons = installButtons(fitWidth(width), &next, &cancel);
    FormWindow question(scrChoiseForm(title, text, buttons));
    newtFormSetCurrent(question.form, def_btn == 1 ? next : cancel);
    return askUntilDecided(question, cancel, def_btn == 1);
}

int scrChoiseRetry(const char* title, const char* text, int def_btn) {
    if (!innewt)
        return 1;
    newtComponent retry = nullptr;
    newtComponent cancel = nullptr;
    newtGrid buttons = installButtonsWithTxt(fitWidth(width), &retry, &cancel, _("Retry"), _("Cancel"));
    FormWindow question(scrChoiseForm(title, text, buttons));
    newtFormSetCurrent(question.form, retry);
    return askUntilDecided(question, cancel, def_btn == 1);
}

int scrChoiseNextSkipCancel(const char* title, const char* text, int) {
    if (!innewt)
        return 1;
    newtComponent next = nullptr;
    newtComponent skip = nullptr;
    newtComponent cancel = nullptr;
    // Three buttons make a row five columns wider than the width it is built for.
    newtGrid buttons = installButtonsNextSkipCancel(std::min(width, dialogContentCols() - 5), &next, &skip, &cancel,
                                                    _("Next"), _("Skip"), _("Cancel"));
    FormWindow question(scrChoiseForm(title, text, buttons));
    newtFormSetCurrent(question.form, next);
    const newtComponent answer = question.run();
    if (answer == cancel)
        return 0;
    return answer == skip ? 1 : 2;
}

newtGrid listBoxGrid(newtComponent* pListBox, int height, int width, list_s* list, const char* current) {
    newtComponent sub = nullptr;
    return listBoxGridIn(pListBox, height, width, list, current, &sub);
}

newtGrid listGrid(newtComponent* pListBox, int height, int width, list_s* list, const char* current) {
    const int count = countEntries(list);
    newtComponent scrollbar = nullptr;
    newtComponent sub = listSubform(count, height, 9, &scrollbar);
    for (int j = 0; j < count; ++j) {
        pListBox[j] = newtRadiobutton(0, j, list[j].name, sameName(list[j].name, current) ? 1 : 0,
                                      j > 0 ? pListBox[j - 1] : nullptr);
        newtFormAddComponent(sub, pListBox[j]);
    }
    return besideScrollbar(sub, scrollbar, width);
}

int scrSelectAction(const char* title, const char* text, list_s* types, int def) {
    std::string text_copy = cut(text ? text : "");
    const int count = countEntries(types);
    if (!innewt)
        return 1;
    const int dialogWidth = fitWidth(width);
    // Text and list share the rows above the buttons. On a short screen the
    // list first gives up its blank last row, then the text scrolls in what
    // the entries leave.
    const int room = dialogTextRows(4);
    const int textRows = reflowedRows(text_copy.c_str(), dialogWidth - 2, 0);
    const int listRows = std::max(std::clamp(room - textRows, std::min(count, room - 1), count + 1), 1);
    newtComponent box = reflowedBox(text_copy.c_str(), dialogWidth - 2, std::max(room - listRows, 1), 0, 0);
    newtComponent listbox = newtListbox(0, 0, 2, NEWT_FLAG_RETURNEXIT);
    // The list's 30 columns and its margin, as far as the window allows.
    const int listWidth = std::min(30, dialogContentCols() - 12);
    newtComponent listPart = nullptr;
    newtGrid list = listBoxGridIn(&listbox, listRows, listWidth, types, entryName(types, count, def), &listPart);
    newtComponent next = nullptr;
    newtComponent cancel = nullptr;
    newtGrid buttons = installButtons(dialogWidth, &next, &cancel);
    FormWindow screen(listForm(title, box, list, buttons));
    // The list starts with the focus, also when the text above it scrolls
    // and so could take it.
    newtFormSetCurrent(screen.form, listPart);
    while (screen.run() == cancel) {
        if (Cancel(0))
            return -1;
    }
    return static_cast<int>(reinterpret_cast<intptr_t>(newtListboxGetCurrent(listbox)));
}

int scrSelectComponents(const char* title, const char* text, list_s* types, int def) {
    const int count = countEntries(types);
    int result = def;
    if (!innewt)
        return 1;
    newtComponent label = newtLabel(1, 1, text);
    std::vector<newtComponent> radios(static_cast<std::size_t>(count) + 1, nullptr);
    newtGrid list = listGrid(radios.data(), count + 1, 30, types, entryName(types, count, def));
    newtComponent next = nullptr;
    newtComponent cancel = nullptr;
    newtGrid buttons = installButtons(width, &next, &cancel);
    FormWindow screen(listForm(title, label, list, buttons));
    newtFormSetCurrent(screen.form, next);
    if (screen.run() == cancel)
        return -1;
    const newtComponent chosen = count > 0 ? newtRadioGetCurrent(radios[0]) : nullptr;
    for (int j = 0; j < count; ++j) {
        if (radios[j] == chosen) {
            result = types[j].id;
            break;
        }
    }
    return result;
}

int srcSelectInstType(const char* title) {
    list_s types[] = {
        {_("Express installation (use default settings)"), 1},
        {_("Advanced installation"), 0},
        {nullptr, 0},
    };
    return scrSelectComponents(title, _("Please select the installation type: "), types, 0);
}

int scrChoiceCd() {
    // No medium to ask about without a screen: finish.
    if (!innewt)
        return 2;
    newtComponent finish = newtRadiobutton(1, 1, _("Finish installation of additional templates  "), 1, nullptr);
    newtComponent more = newtRadiobutton(1, 2, _("Install additional templates from optional CD"), 0, finish);
    newtComponent next = newtButton(0, 0, _(" Next "));
    newtGrid grid = newtCreateGrid(1, 3);
    newtGridSetField(grid, 0, 0, NEWT_GRID_COMPONENT, finish, 1, 1, 0, 0, NEWT_ANCHOR_LEFT, 0);
    newtGridSetField(grid, 0, 1, NEWT_GRID_COMPONENT, more, 1, 0, 0, 0, NEWT_ANCHOR_LEFT, 0);
    newtGridSetField(grid, 0, 2, NEWT_GRID_COMPONENT, next, 20, 1, 0, -1, NEWT_ANCHOR_LEFT, 0);
    newtComponent form = newtForm(nullptr, nullptr, 0);
    newtGridAddComponentsToForm(grid, form, 1);
    openGridWindow(grid, _("Install additional templates"));
    newtGridFree(grid, 1);
    FormWindow screen(form);
    newtFormSetCurrent(form, next);
    screen.run();
    return newtRadioGetCurrent(finish) == finish ? 2 : 0;
}
