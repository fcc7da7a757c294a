#include "exec/log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
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

int open_log(const char* path) {
    if (!path)
        return -1;
    // No link is followed and nothing but a regular file is written: a link
    // planted at the path would have root write wherever it points, and a
    // FIFO would block. Non-blocking until the type is known, so that a FIFO
    // without a reader fails at once. Only root may read what the tools log.
    const int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0600);
    if (fd < 0)
        return -1;
    struct stat st;
    const int flags = fcntl(fd, F_GETFL);
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

void write_log(const char* format, ...) {
    // Opened and closed per entry so that every entry is on disk whatever
    // way the process ends, and the tools' own lines interleave in order.
    const int fd = open_log(log_path);
    if (fd < 0)
        return;
    FilePtr f(fdopen(fd, "a"));
    if (!f) {
        close(fd);
        return;
    }
    char stamp[64];
    get_date(stamp, sizeof stamp);
    std::fprintf(f.get(), "%s: ", stamp);
    va_list ap;
    va_start(ap, format);
    std::vfprintf(f.get(), format, ap);
    va_end(ap);
    std::fflush(f.get());
}
