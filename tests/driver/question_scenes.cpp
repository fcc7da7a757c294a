// Scenes of the questions, lists, licence and finish screens.
#include <cstdlib>
#include <string>
#include <vector>

#include "scene.h"
#include "screens/frames.h"
#include "screens/questions.h"

namespace {

int num(const std::vector<std::string>& args, std::size_t i, int fallback = 0) {
    return i < args.size() ? std::atoi(args[i].c_str()) : fallback;
}

const char* text(const std::vector<std::string>& args, std::size_t i) {
    return i < args.size() && args[i] != "-" ? args[i].c_str() : nullptr;
}

// NAME ID pairs from args[first] on, ended by the null entry.
std::vector<list_s> entries(const std::vector<std::string>& args, std::size_t first) {
    std::vector<list_s> list;
    for (std::size_t i = first; i + 1 < args.size(); i += 2)
        list.push_back({args[i].c_str(), std::atoi(args[i + 1].c_str())});
    list.push_back({nullptr, 0});
    return list;
}

}  // namespace

// scrChoise TITLE TEXT DEF_BTN PRINT_IN_NEWT
KEL_SCENE(scrChoise) {
    return scrChoise(text(args, 0), text(args, 1), num(args, 2, 1), num(args, 3));
}

// scrChoiseRetry TITLE TEXT DEF_BTN
KEL_SCENE(scrChoiseRetry) {
    return scrChoiseRetry(text(args, 0), text(args, 1), num(args, 2, 1));
}

// scrChoiseNextSkipCancel TITLE TEXT
KEL_SCENE(scrChoiseNextSkipCancel) {
    return scrChoiseNextSkipCancel(text(args, 0), text(args, 1), 1);
}

// scrSelectAction TITLE TEXT DEF NAME ID [NAME ID...]; -1 shows as 255.
KEL_SCENE(scrSelectAction) {
    std::vector<list_s> list = entries(args, 3);
    return scrSelectAction(text(args, 0), text(args, 1), list.data(), num(args, 2));
}

// scrSelectComponents TITLE TEXT DEF NAME ID [NAME ID...]
KEL_SCENE(scrSelectComponents) {
    std::vector<list_s> list = entries(args, 3);
    return scrSelectComponents(text(args, 0), text(args, 1), list.data(), num(args, 2));
}

// srcSelectInstType TITLE
KEL_SCENE(srcSelectInstType) {
    return srcSelectInstType(text(args, 0));
}

KEL_SCENE(scrChoiceCd) {
    return scrChoiceCd();
}

// Looks for ./LICENSE in the current directory, as the installer does.
KEL_SCENE(license_agreement_show) {
    return license_agreement_show();
}

// scrAgreement TITLE DEF_BUTT FILE MODE
KEL_SCENE(scrAgreement) {
    return scrAgreement(text(args, 0), num(args, 1), text(args, 2), num(args, 3) == 1 ? AGRT_CEP : AGRT_LIC);
}

// show_finish_screen ACTION SHOW_REBOOT REBOOT_IS_DEFAULT
KEL_SCENE(show_finish_screen) {
    return show_finish_screen(static_cast<installAction>(num(args, 0, ACTION_INSTALL)), num(args, 1), num(args, 2));
}

// scrFinished TITLE TEXT SHOW_REBOOT REBOOT_IS_DEFAULT
KEL_SCENE(scrFinished) {
    return scrFinished(text(args, 0), text(args, 1), num(args, 2), num(args, 3));
}

// scrFinishedWithCheckBox TITLE TEXT LABEL TICKED SHOW_REBOOT REBOOT_IS_DEFAULT
// Result: the screen's answer plus 2 when the box ended up ticked.
KEL_SCENE(scrFinishedWithCheckBox) {
    int ticked = num(args, 3);
    const int answer =
        scrFinishedWithCheckBox(text(args, 0), text(args, 1), text(args, 2), &ticked, num(args, 4), num(args, 5));
    return answer + 2 * ticked;
}

// show_remove_finish_screen TICKED SHOW_REBOOT REBOOT_IS_DEFAULT; result as above.
KEL_SCENE(show_remove_finish_screen) {
    int ticked = num(args, 0);
    const int answer = show_remove_finish_screen(&ticked, num(args, 1), num(args, 2));
    return answer + 2 * ticked;
}
