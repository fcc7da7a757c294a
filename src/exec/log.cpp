#include "exec/log.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <memory>

#include "installer/state.h"

namespace {
struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
}  // namespace

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
    std::unique_ptr<FILE, FileCloser> f(std::fopen(log_path, "a"));
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
