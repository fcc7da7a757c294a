// Small text helpers shared by every layer: translation markers, printf-style
// formatting into std::string, and cutting to the size of a fixed C buffer.
#pragma once

#include <libintl.h>

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <string>

#define _(s) checked_gettext(s)
#define N_(s) (s)

// gettext, but a translation is used only when its printf conversions are
// the message's own: the same conversions in the same order ("%%" aside),
// and never "%n". Otherwise the message itself is returned, so a damaged or
// planted catalogue can neither read arguments that were not passed nor
// write memory.
char* checked_gettext(const char* msgid) __attribute__((format_arg(1)));

// Whether translation has the conversions of msgid, as checked_gettext
// requires.
bool same_conversions(const char* msgid, const char* translation);

// The product name is never translated; formats that show it are.
inline constexpr const char* PRODUCT_NAME = "Kelvarin";
inline constexpr const char* PRODUCT_FULL_NAME = "Kelvarin for Linux";

// Fixed text buffers hold this many bytes; a longer text is cut to one less.
inline constexpr std::size_t TEXT_BUF = 4096;

std::string vstrfmt(const char* fmt, va_list ap);
std::string strfmt(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// What a `char[bufsize]` filled by snprintf would hold: at most bufsize - 1 bytes.
std::string cut(std::string s, std::size_t bufsize = TEXT_BUF);

// Bounded formatting: strfmt followed by cut.
std::string bfmt(std::size_t bufsize, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

// Copies src into dst[size], cut and always terminated (size > 0).
void copy_cut(char* dst, std::size_t size, const char* src);

// A word for a shell command line: returned unchanged when it holds only
// letters, digits and _ . / , : + @ % = -, so plain paths keep their exact
// command text; otherwise (the empty word included) single-quoted so the shell
// passes it as one argument.
std::string shell_arg(const std::string& word);

// Writes value in decimal into out (room for 12 bytes), unterminated; returns
// the length. Safe in a signal handler, unlike the printf family.
std::size_t format_decimal(char* out, int value);

// text with every control character but line breaks and tabs (C0, DEL and
// UTF-8 encoded C1) turned into '?'.
std::string terminal_safe(const std::string& text);

// Writes text and a line break to stream. A terminal gets terminal_safe(text):
// texts from the bundle's tools must not drive the user's terminal.
void print_line(FILE* stream, const char* text);
