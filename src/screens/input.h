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
char* read_stdin(const char* mess);
newtComponent layoutTextFromFile(FILE* file);
int depDialog(FILE* file, int* retry);
void missedPackages(const char** lines);
