// Scene output that must outlive full-screen mode: collected while the
// scene runs and written when the process ends (also through insExit) to
// the file named by $KEL_SCENE_REPORT, or else to standard output. A
// terminal test needs the file: what a program prints as it leaves
// full-screen mode is gone with the terminal's alternate screen.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "exec/text.h"

// Never destroyed: it is read by an exit handler.
inline std::string& sceneReportText() {
    static std::string* text = new std::string;
    return *text;
}

inline void sceneReport(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
inline void sceneReport(const char* fmt, ...) {
    static const bool registered = [] {
        std::atexit([] {
            const char* path = std::getenv("KEL_SCENE_REPORT");
            FILE* out = path ? std::fopen(path, "w") : stdout;
            if (!out)
                return;
            std::fputs(sceneReportText().c_str(), out);
            if (out == stdout)
                std::fflush(out);
            else
                std::fclose(out);
        });
        return true;
    }();
    (void)registered;
    va_list ap;
    va_start(ap, fmt);
    sceneReportText() += vstrfmt(fmt, ap);
    va_end(ap);
}
