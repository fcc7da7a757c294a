#include "exec/text.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// The printf conversions of fmt, one word each: an argument position, a
// length and the conversion letter ("ld", "2$s"), and "*" for a width or
// precision taken from an argument. Flags and numbers are left out: they
// change no argument. A '%' that starts no conversion counts too, as "!"
// and the character. False when fmt holds "%n".
bool conversions_of(const char* fmt, std::vector<std::string>& out) {
    const auto digits = [](const char*& p) {
        while (*p >= '0' && *p <= '9')
            ++p;
    };
    // "N$" at p, if there is one.
    const auto position = [&](const char*& p) {
        const char* q = p;
        digits(q);
        if (q == p || *q != '$')
            return std::string();
        std::string pos(p, q + 1);
        p = q + 1;
        return pos;
    };
    for (const char* p = fmt; *p;) {
        if (*p++ != '%')
            continue;
        if (*p == '%') {
            ++p;
            continue;
        }
        const std::string pos = position(p);
        while (*p && std::strchr("-+ #0'I", *p))
            ++p;
        if (*p == '*') {
            ++p;
            out.push_back(position(p) + "*");
        } else {
            digits(p);
        }
        if (*p == '.') {
            ++p;
            if (*p == '*') {
                ++p;
                out.push_back(position(p) + "*");
            } else {
                digits(p);
            }
        }
        std::string length;
        while (*p && std::strchr("hlLqjzZt", *p))
            length += *p++;
        if (*p == 'n')
            return false;
        if (*p && std::strchr("diouxXeEfFgGaAcspmCS", *p)) {
            out.push_back(pos + length + *p++);
        } else {
            out.push_back(std::string("!") + (*p ? *p++ : '\0'));
        }
    }
    return true;
}

}  // namespace

bool same_conversions(const char* msgid, const char* translation) {
    std::vector<std::string> want;
    std::vector<std::string> got;
    return conversions_of(msgid, want) && conversions_of(translation, got) && got == want;
}

char* checked_gettext(const char* msgid) {
    // Non-const as gettext's own result, which newt's calls take.
    char* untranslated = const_cast<char*>(msgid);
    char* translated = gettext(msgid);
    if (!translated || translated == msgid)
        return untranslated;
    return same_conversions(msgid, translated) ? translated : untranslated;
}

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
