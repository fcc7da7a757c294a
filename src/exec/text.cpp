#include "exec/text.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

std::string vstrfmt(const char* fmt, va_list ap) {
    va_list again;
    va_copy(again, ap);
    const int n = std::vsnprintf(nullptr, 0, fmt, ap);
    std::string out;
    if (n > 0) {
        out.resize(static_cast<std::size_t>(n) + 1);
        std::vsnprintf(out.data(), out.size(), fmt, again);
        out.resize(static_cast<std::size_t>(n));
    }
    va_end(again);
    return out;
}

std::string strfmt(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    std::string out = vstrfmt(fmt, ap);
    va_end(ap);
    return out;
}

std::string cut(std::string s, std::size_t bufsize) {
    if (bufsize == 0)
        return {};
    if (s.size() > bufsize - 1)
        s.resize(bufsize - 1);
    return s;
}

std::string bfmt(std::size_t bufsize, const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    std::string out = vstrfmt(fmt, ap);
    va_end(ap);
    return cut(std::move(out), bufsize);
}

void copy_cut(char* dst, std::size_t size, const char* src) {
    if (size == 0)
        return;
    const std::size_t n = src ? strnlen(src, size - 1) : 0;
    if (n)
        std::memcpy(dst, src, n);
    dst[n] = '\0';
}

std::string shell_arg(const std::string& word) {
    static const char plain[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_./,:+@%=-";
    // An empty word unquoted would vanish from the command line.
    if (!word.empty() && word.find_first_not_of(plain) == std::string::npos)
        return word;
    std::string quoted = "'";
    for (char c : word) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    quoted += '\'';
    return quoted;
}

std::size_t format_decimal(char* out, int value) {
    char digits[12];
    std::size_t n = 0;
    long long v = value;
    const bool negative = v < 0;
    if (negative)
        v = -v;
    do {
        digits[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v > 0);
    std::size_t len = 0;
    if (negative)
        out[len++] = '-';
    while (n > 0)
        out[len++] = digits[--n];
    return len;
}

std::string terminal_safe(const std::string& text) {
    std::string safe;
    safe.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if ((c < 0x20 && c != '\n' && c != '\t') || c == 0x7f) {
            safe += '?';
        } else if (c == 0xc2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9f) {
            safe += '?';
            ++i;
        } else {
            safe += static_cast<char>(c);
        }
    }
    return safe;
}

void print_line(FILE* stream, const char* text) {
    if (isatty(fileno(stream)))
        std::fprintf(stream, "%s\n", terminal_safe(text).c_str());
    else
        std::fprintf(stream, "%s\n", text);
}
