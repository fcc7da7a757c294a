#include "exec/log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>

#include "exec/file.h"
#include "installer/state.h"

namespace {
// UTC offset of the latest local time stamp. A signal handler cannot look the
// time zone up (localtime_r takes a lock the interrupted code may hold), so
// its stamps reuse this one.
std::atomic<long> stamp_offset{0};

void two_digits(char* out, long v) {
    out[0] = static_cast<char>('0' + v / 10 % 10);
    out[1] = static_cast<char>('0' + v % 10);
}
}  // namespace

std::size_t format_log_stamp(char* out, long long t, long gmtoff) {
    const long long local = t + gmtoff;
    long long days = local / 86400;
    long long secs = local % 86400;
    if (secs < 0) {
        secs += 86400;
        --days;
    }
    // Civil date from days since 1970-01-01 (proleptic Gregorian calendar).
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long doe = days - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    const long day = static_cast<long>(doy - (153 * mp + 2) / 5 + 1);
    const long month = static_cast<long>(mp < 10 ? mp + 3 : mp - 9);
    const long long year = yoe + era * 400 + (month <= 2 ? 1 : 0);

    std::size_t n = 0;
    // Four digits, as the stamps of get_date show for the years they meet.
    for (long long div = 1000; div > 0; div /= 10)
        out[n++] = static_cast<char>('0' + (year / div) % 10);
    out[n++] = '-';
    two_digits(out + n, month);
    n += 2;
    out[n++] = '-';
    two_digits(out + n, day);
    n += 2;
    out[n++] = 'T';
    two_digits(out + n, static_cast<long>(secs / 3600));
    n += 2;
    out[n++] = ':';
    two_digits(out + n, static_cast<long>(secs / 60 % 60));
    n += 2;
    out[n++] = ':';
    two_digits(out + n, static_cast<long>(secs % 60));
    n += 2;
    const long off = gmtoff < 0 ? -gmtoff : gmtoff;
    out[n++] = gmtoff < 0 ? '-' : '+';
    two_digits(out + n, off / 3600);
    n += 2;
    two_digits(out + n, off / 60 % 60);
    n += 2;
    out[n] = '\0';
    return n;
}

void get_date(char* buf, std::size_t len) {
    if (len == 0)
        return;
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (!localtime_r(&now, &local) || std::strftime(buf, len, "%Y-%m-%dT%T%z", &local) == 0) {
        buf[0] = '\0';
        return;
    }
    stamp_offset.store(local.tm_gmtoff, std::memory_order_relaxed);
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

void write_log_raw(const char* message) {
    const int fd = open_log(log_path);
    if (fd < 0)
        return;
    char stamp[64];
    const std::size_t n = format_log_stamp(stamp, time(nullptr), stamp_offset.load(std::memory_order_relaxed));
    char sep[] = ": ";
    // One write call, so that the tools' own lines cannot land inside the entry.
    iovec parts[] = {{stamp, n}, {sep, 2}, {const_cast<char*>(message), std::strlen(message)}};
    if (writev(fd, parts, 3) < 0) {
        // Logging never fails visibly.
    }
    close(fd);
}
