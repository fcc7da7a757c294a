// Questions (Next/Cancel, Retry/Cancel, Next/Skip/Cancel) and list screens.
#pragma once

#include <newt.h>

// One entry of a choice list; a list ends with a null name.
struct list_s {
    const char* name;
    int id;
};

newtComponent scrChoiseForm(const char* title, const char* text, newtGrid btns);
int scrChoise(const char* title, const char* text, int def_btn, int print_in_newt);
int scrChoiseRetry(const char* title, const char* text, int def_btn);
int scrChoiseNextSkipCancel(const char* title, const char* text, int def_btn);
int scrSelectAction(const char* title, const char* text, list_s* types, int def);
newtGrid listBoxGrid(newtComponent* pListBox, int height, int width, list_s* list, const char* current);
int scrSelectComponents(const char* title, const char* text, list_s* types, int def);
newtGrid listGrid(newtComponent* pListBox, int height, int width, list_s* list, const char* current);
int srcSelectInstType(const char* title);
int scrChoiceCd();
