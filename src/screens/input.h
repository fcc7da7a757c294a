// Input dialogs: proxy credentials, password filter, prompts, file text boxes,
// dependency conflicts and missing packages.
#pragma once

#include <newt.h>

#include <cstdio>

typedef struct auth_pair_t {
    char userName[4096];
    char userPassword[4096];
} auth_pair;

int getProxyUserPassInput(const char* title, auth_pair* ret);
int WrongProxyCredentialsMessage();
int passwdfilter(newtComponent entry, void* data, int ch, int cursor);
// The line typed after the prompt, without its line end; NULL at the end of input.
char* read_stdin(const char* mess);
// Replaces each newline that another newline follows by a blank, in place:
// a run of n newlines becomes n - 1 blanks and one newline.
void joinDoubledNewlines(char* text);
newtComponent layoutTextFromFile(FILE* file);
int depDialog(FILE* file, int* retry);
void missedPackages(const char** lines);
