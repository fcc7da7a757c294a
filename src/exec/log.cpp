#include "exec/log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <memory>

#include "exec/file.h"
#include "installer/state.h"


void get_date(char* buf, std::size_t len) {
    if (len == 0)
        return;
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (!localtime_r(&now, &local) || std::strftime(buf, len, "%Y-%m-%dT%T%z", &local) == 0)
        buf[0] = '\0';
}

void write_log(const char* format, ...) {
    if (!log_path)
        return;
    // Opened and closed per entry so that every entry is on disk whatever
    // way the process ends, and the tools' own lines interleave in order.
    FilePtr f(std::fopen(log_path, "a"));
    if (!f)
        return;
    char stamp[64];
    get_date(stamp, sizeof stamp);
    std::fprintf(f.get(), "%s: ", stamp);
    va_list ap;
    va_start(ap, format);
    std::vfprintf(f.get(), format, ap);
    va_end(ap);
    std::fflush(f.get());
}

void write_log_raw(const char* message) {
    if (!log_path)
        return;
    const int fd = open(log_path, O_WRONLY | O_APPEND | O_CREAT, 0666);
    if (fd < 0)
        return;
    char entry[256];
    get_date(entry, 64);
    std::size_t n = std::strlen(entry);
    const std::size_t room = sizeof entry - n - 3;
    const std::size_t len = strnlen(message, room);
    std::memcpy(entry + n, ": ", 2);
    std::memcpy(entry + n + 2, message, len);
    n += 2 + len;
    if (write(fd, entry, n) < 0) {
        // Logging never fails visibly.
    }
    close(fd);
}
