#include "screens/input.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "exec/host.h"
#include "exec/text.h"
#include "installer/state.h"
#include "screens/buttons.h"
#include "screens/screen.h"

namespace {

// A row of a label and an entry; the margin lines the entries up.
newtGrid labelledEntry(const char* label, newtComponent entry, int margin) {
    newtGrid row = newtCreateGrid(2, 1);
    newtGridSetField(row, 0, 0, NEWT_GRID_COMPONENT, newtLabel(-1, -1, label), 0, 0, 0, 0, NEWT_ANCHOR_LEFT, 0);
    newtGridSetField(row, 1, 0, NEWT_GRID_COMPONENT, entry, margin, 0, 0, 0, NEWT_ANCHOR_RIGHT, 0);
    return row;
}

}  // namespace

int getProxyUserPassInput(const char* title, auth_pair* ret) {
    // Nobody can type credentials in an unattended run: as if cancelled.
    if (!innewt)
        return -1;
    const int entryFlags = NEWT_FLAG_SCROLL | NEWT_FLAG_RETURNEXIT;
    newtComponent name = newtEntry(-1, -1, "", 20, nullptr, entryFlags);
    newtComponent password = newtEntry(-1, -1, "", 20, nullptr, entryFlags);
    newtComponent ok = nullptr;
    newtComponent cancel = nullptr;
    newtGrid buttons = installButtonsWithTxt(50, &ok, &cancel, _("OK"), _("Cancel"));

    newtGrid grid = newtCreateGrid(1, 4);
    newtGridSetField(grid, 0, 0, NEWT_GRID_COMPONENT,
                     newtLabel(-1, -1, _("Your proxy server requires authentication.")), 0, 0, 0, 0, 0, 0);
    newtGridSetField(grid, 0, 1, NEWT_GRID_SUBGRID, labelledEntry(_("User Name:"), name, 2), 0, 0, 0, 0,
                     NEWT_ANCHOR_LEFT, 0);
    newtGridSetField(grid, 0, 2, NEWT_GRID_SUBGRID, labelledEntry(_("Password:"), password, 3), 0, 0, 0, 0,
                     NEWT_ANCHOR_LEFT, 0);
    newtGridSetField(grid, 0, 3, NEWT_GRID_SUBGRID, buttons, 0, 1, 0, -1, 0, NEWT_GRID_FLAG_GROWX);

    newtComponent form = newtForm(nullptr, nullptr, 0);
    newtGridAddComponentsToForm(grid, form, 1);
    openGridWindow(grid, title);
    newtGridFree(grid, 1);

    FormWindow dialog(form);
    if (dialog.run() == cancel)
        return -1;
    if (ret) {
        copy_cut(ret->userName, sizeof ret->userName, newtEntryGetValue(name));
        copy_cut(ret->userPassword, sizeof ret->userPassword, newtEntryGetValue(password));
    }
    return 0;
}

int WrongProxyCredentialsMessage() {
    // Unattended: go on without the download.
    if (!innewt)
        return 1;
    const int chosen = baseDialog(_("Warning"),
                                  _("You entered an invalid name or password.\nDo you want to proceed without "
                                    "downloading a more recent version?\n\nTo download a more recent version, "
                                    "click No and check the name and password you entered."),
                                  nullptr, nullptr, _(" Yes "), _(" No "), 1);
    return chosen == 1 ? 0 : 1;
}

int passwdfilter(newtComponent, void* data, int ch, int cursor) {
    if (cursor >= 0 && cursor <= 30 && ch >= 32 && ch <= 126) {
        static_cast<char*>(data)[cursor] = static_cast<char>(ch);
        return '*';
    }
    return ch;
}

char* read_stdin(const char* mess) {
    if (mess)
        std::fputs(mess, stdout);
    std::fflush(stdout);
    char buf[TEXT_BUF];
    if (!std::fgets(buf, TEXT_BUF - 1, stdin))
        return nullptr;
    buf[std::strcspn(buf, "\n")] = '\0';
    return strdup(buf);
}

void joinDoubledNewlines(char* text) {
    if (!text)
        return;
    for (char* p = text; *p; ++p)
        if (p[0] == '\n' && p[1] == '\n')
            *p = ' ';
}

newtComponent layoutTextFromFile(FILE* file) {
    char* text = readTrimmedLines(file);
    if (!text)
        return nullptr;
    joinDoubledNewlines(text);
    if (!innewt) {
        std::fputs(text, stdout);
        std::free(text);
        return nullptr;
    }
    newtComponent box = reflowedBox(text, 60, 6);
    std::free(text);
    return box;
}

int depDialog(FILE* file, int* retry) {
    newtComponent fileText = layoutTextFromFile(file);
    if (!innewt)
        return 0;
    newtComponent explanation =
        reflowedBox(_("Installing Corvane Virozevovo on your system will cause dependency conflicts listed "
                        "below. This happens when installing Corvane Virozevovo on unsupported Linux "
                        "distribution."),
                    60, 0);
    newtComponent skip = nullptr;
    newtComponent tryAgain = nullptr;
    newtComponent abort = nullptr;
    newtGrid buttons = newtButtonBar(const_cast<char*>(_("Skip  ")), &skip, const_cast<char*>(_("Try again")),
                                     &tryAgain, const_cast<char*>(_("Abort")), &abort, nullptr);

    newtGrid grid = newtCreateGrid(1, 3);
    newtGridSetField(grid, 0, 0, NEWT_GRID_COMPONENT, explanation, 0, 0, 0, 0, NEWT_ANCHOR_LEFT, 0);
    if (fileText)
        newtGridSetField(grid, 0, 1, NEWT_GRID_COMPONENT, fileText, 0, 1, 0, 0, 0, 0);
    newtGridSetField(grid, 0, 2, NEWT_GRID_SUBGRID, buttons, 0, 1, 0, 0, 0, NEWT_GRID_FLAG_GROWX);
    openGridWindow(grid, _("Dependency conflict"));
    newtComponent form = newtForm(nullptr, nullptr, 0);
    newtGridAddComponentsToForm(grid, form, 1);
    newtGridFree(grid, 1);

    newtFormSetCurrent(form, abort);
    newtComponent answer = nullptr;
    {
        FormWindow dialog(form);
        answer = dialog.run();
    }
    if (answer == tryAgain && retry)
        *retry = 1;
    return answer == abort ? 1 : 0;
}

void missedPackages(const char** lines) {
    int count = 0;
    while (lines && lines[count])
        ++count;
    if (!innewt) {
        for (int i = 0; i < count; ++i)
            std::fprintf(stderr, "missedPackages[%d]:%s\n", i, lines[i]);
        return;
    }
    const int rows = count > 6 ? 6 : (count > 0 ? count : 1);
    newtComponent list = newtListbox(-1, -1, rows, count > 6 ? NEWT_FLAG_SCROLL : 0);
    for (int i = 0; i < count; ++i)
        newtListboxAppendEntry(list, lines[i], reinterpret_cast<void*>(static_cast<std::intptr_t>(i)));
    baseDialog(_("Error"),
               _("The packages listed below are required for Corvane Virozevovo installation but are omitted "
                 "from your installation media. Please ensure that you have received your installation packages "
                 "from Corvane and restart installation."),
               nullptr, list, _("Exit"), nullptr, 0);
}
