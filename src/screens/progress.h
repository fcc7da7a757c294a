// Progress windows: the preparation scale, the status window, the package
// progress window, and the spinner routine of the command runner.
#pragma once

#include <newt.h>

#include <string>

typedef void (*showProgressFn)(int type, void* data, const unsigned long amount, const unsigned long total, int len,
                               const char* name, const char* size, const char* summary);

typedef struct progWinData_t {
    showProgressFn f;
    newtComponent form;
    newtComponent name;
    newtComponent size;
    newtComponent summary;
    newtComponent pkgscale;
    newtComponent pkgpercent;
    newtComponent totalscale;
    newtComponent totalpercent;
    unsigned long oldSize;
    unsigned long curSize;
    int len;
} progWinData;

void prepStart(long long fullValue, const char* title);
void prepUpdate(long long amount);
void prepStop();
void* winSimpleProgress(const char* title);
void winStatus(int width, int height, const char* title, const char* text, ...) __attribute__((format(printf, 4, 5)));
void winStatusStop();
newtGrid createScaleBar(const char* text, int width, newtComponent* scale, newtComponent* label);
void* winProgress(const char* title);
void winProgressUpdate(void* data, int len, const char* name, const char* size, const char* summary);
void winProgressUpdatePkg(void* data, const unsigned long amount, const unsigned long total);
void winProgressStop(void* data);
void showProgress(int type, void* data, const unsigned long amount, const unsigned long total, int len,
                  const char* name, const char* size, const char* summary);
long long transTotalSize();

// Spinner thread body for execCmd3; arg is a progress_func_arg.
void* progress_func(void* arg);
