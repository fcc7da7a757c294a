#include "catalogue_scan.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <set>
#include <sstream>

namespace {

bool identStart(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}

bool identChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

// Decodes the escapes of a C literal body; stops at the closing quote.
// Returns the position just after it.
std::size_t decodeQuoted(const std::string& s, std::size_t i, char quote, std::string& out) {
    while (i < s.size() && s[i] != quote) {
        char c = s[i++];
        if (c != '\\' || i >= s.size()) {
            out += c;
            continue;
        }
        c = s[i++];
        switch (c) {
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case 'a': out += '\a'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'v': out += '\v'; break;
        case 'x': {
            int v = 0;
            while (i < s.size() && std::isxdigit(static_cast<unsigned char>(s[i])))
                v = v * 16 + std::stoi(std::string(1, s[i++]), nullptr, 16);
            out += static_cast<char>(v);
            break;
        }
        default:
            if (c >= '0' && c <= '7') {
                int v = c - '0';
                for (int n = 1; n < 3 && i < s.size() && s[i] >= '0' && s[i] <= '7'; ++n)
                    v = v * 8 + (s[i++] - '0');
                out += static_cast<char>(v);
            } else {
                out += c;  // \" \' \\ \?
            }
        }
    }
    return i < s.size() ? i + 1 : i;
}

// Words that open a parenthesis without calling anything.
const std::set<std::string> kNotCalls = {"if", "while", "for", "switch", "return", "sizeof", "alignof",
                                         "decltype", "noexcept", "static_assert", "catch"};

const std::set<std::string> kLiteralPrefixes = {"u8", "u", "U", "L"};
const std::set<std::string> kRawPrefixes = {"R", "u8R", "uR", "UR", "LR"};

}  // namespace

std::vector<SourceLiteral> scanLiterals(const std::string& s) {
    std::vector<SourceLiteral> out;
    std::vector<std::string> stack;
    std::vector<std::string> savedStack;  // outside a preprocessor line
    bool inDirective = false;
    bool lineStart = true;
    int line = 1;
    std::string lastIdent;        // identifier just before the current position
    bool lastWasLiteral = false;  // the previous token was a literal: join the next
    std::size_t i = 0;

    auto endDirective = [&] {
        if (inDirective) {
            stack = savedStack;
            inDirective = false;
        }
    };

    while (i < s.size()) {
        const char c = s[i];
        if (c == '\n') {
            if (!(i > 0 && s[i - 1] == '\\'))
                endDirective();
            ++line;
            lineStart = true;
            ++i;
            continue;
        }
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
            continue;
        }
        if (s.compare(i, 2, "//") == 0) {
            while (i < s.size() && s[i] != '\n')
                ++i;
            continue;
        }
        if (s.compare(i, 2, "/*") == 0) {
            const std::size_t end = s.find("*/", i + 2);
            const std::size_t stop = end == std::string::npos ? s.size() : end + 2;
            line += static_cast<int>(std::count(s.begin() + static_cast<long>(i),
                                                s.begin() + static_cast<long>(stop), '\n'));
            i = stop;
            continue;
        }
        const bool atLineStart = lineStart;
        lineStart = false;
        if (c == '#' && atLineStart) {
            std::size_t j = i + 1;
            while (j < s.size() && (s[j] == ' ' || s[j] == '\t'))
                ++j;
            if (s.compare(j, 7, "include") == 0) {
                while (i < s.size() && s[i] != '\n')
                    ++i;
                continue;
            }
            savedStack = stack;
            stack.clear();
            inDirective = true;
            lastIdent.clear();
            lastWasLiteral = false;
            i = j;
            continue;
        }
        if (identStart(c)) {
            std::size_t j = i;
            while (j < s.size() && identChar(s[j]))
                ++j;
            const std::string word = s.substr(i, j - i);
            if (j < s.size() && s[j] == '"' && (kLiteralPrefixes.count(word) || kRawPrefixes.count(word))) {
                // An encoding or raw prefix belongs to the literal that follows.
                if (kRawPrefixes.count(word)) {
                    const std::size_t open = s.find('(', j + 1);
                    const std::string delim = ")" + s.substr(j + 1, open - j - 1) + "\"";
                    const std::size_t close = s.find(delim, open);
                    std::string text = s.substr(open + 1, close - open - 1);
                    if (lastWasLiteral && !out.empty())
                        out.back().text += text;
                    else
                        out.push_back({line, text, stack});
                    line += static_cast<int>(std::count(text.begin(), text.end(), '\n'));
                    i = close + delim.size();
                    lastIdent.clear();
                    lastWasLiteral = true;
                    continue;
                }
                i = j;
                continue;
            }
            lastIdent = word;
            lastWasLiteral = false;
            i = j;
            continue;
        }
        if (std::isdigit(static_cast<unsigned char>(c))) {
            // Numbers, with digit separators and exponents.
            std::size_t j = i;
            while (j < s.size() && (identChar(s[j]) || s[j] == '.' || s[j] == '\'' ||
                                    ((s[j] == '+' || s[j] == '-') && (s[j - 1] == 'e' || s[j - 1] == 'E'))))
                ++j;
            i = j;
            lastIdent.clear();
            lastWasLiteral = false;
            continue;
        }
        if (c == '"') {
            std::string text;
            const int at = line;
            i = decodeQuoted(s, i + 1, '"', text);
            if (lastWasLiteral && !out.empty())
                out.back().text += text;
            else
                out.push_back({at, text, stack});
            lastIdent.clear();
            lastWasLiteral = true;
            continue;
        }
        if (c == '\'') {
            std::string ignored;
            i = decodeQuoted(s, i + 1, '\'', ignored);
            lastIdent.clear();
            lastWasLiteral = false;
            continue;
        }
        if (c == '(') {
            stack.insert(stack.begin(), kNotCalls.count(lastIdent) ? "" : lastIdent);
        } else if (c == '[' || c == '{') {
            stack.insert(stack.begin(), "");
        } else if ((c == ')' || c == ']' || c == '}') && !stack.empty()) {
            stack.erase(stack.begin());
        }
        lastIdent.clear();
        lastWasLiteral = false;
        ++i;
    }
    return out;
}

bool PoEntry::fuzzy() const {
    return std::find(flags.begin(), flags.end(), "fuzzy") != flags.end();
}

bool PoEntry::cFormat() const {
    return std::find(flags.begin(), flags.end(), "c-format") != flags.end();
}

std::vector<PoEntry> readPo(const std::string& text) {
    std::vector<PoEntry> entries;
    PoEntry cur;
    std::string* target = nullptr;
    bool started = false;

    auto finish = [&] {
        if (started && !(cur.msgid.empty() && cur.msgctxt.empty()))
            entries.push_back(cur);
        cur = PoEntry{};
        target = nullptr;
        started = false;
    };
    auto quoted = [](const std::string& rest) {
        std::string value;
        const std::size_t q = rest.find('"');
        if (q != std::string::npos)
            decodeQuoted(rest, q + 1, '"', value);
        return value;
    };

    std::istringstream in(text);
    std::string l;
    while (std::getline(in, l)) {
        if (l.empty()) {
            finish();
            continue;
        }
        if (l.rfind("#~", 0) == 0) {
            target = nullptr;
            continue;
        }
        if (l.rfind("#,", 0) == 0) {
            if (started && !cur.msgstr.empty())
                finish();
            std::istringstream flags(l.substr(2));
            std::string flag;
            while (std::getline(flags, flag, ',')) {
                flag.erase(0, flag.find_first_not_of(' '));
                flag.erase(flag.find_last_not_of(' ') + 1);
                cur.flags.push_back(flag);
            }
            continue;
        }
        if (l[0] == '#')
            continue;
        if (l[0] == '"') {
            if (target)
                *target += quoted(l);
            continue;
        }
        const std::string key = l.substr(0, l.find(' '));
        if (key == "msgctxt" || (key == "msgid" && !cur.msgstr.empty())) {
            // A new entry without a blank line in between.
            if (!cur.msgstr.empty())
                finish();
        }
        started = true;
        if (key == "msgctxt") {
            cur.msgctxt = quoted(l);
            target = &cur.msgctxt;
        } else if (key == "msgid") {
            cur.msgid = quoted(l);
            target = &cur.msgid;
        } else if (key == "msgid_plural") {
            cur.msgid_plural = quoted(l);
            target = &cur.msgid_plural;
        } else if (key.rfind("msgstr", 0) == 0) {
            cur.msgstr.push_back(quoted(l));
            target = &cur.msgstr.back();
        }
    }
    finish();
    return entries;
}

std::vector<std::string> conversions(const std::string& f) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < f.size(); ++i) {
        if (f[i] != '%')
            continue;
        std::size_t j = i + 1;
        if (j < f.size() && f[j] == '%') {
            i = j;
            continue;
        }
        // argument index, flags, width, precision, length, conversion
        while (j < f.size() && std::strchr("0123456789$#-+ '.*hlLqjzt", f[j]))
            ++j;
        if (j < f.size()) {
            out.push_back(f.substr(i, j - i + 1));
            i = j;
        }
    }
    return out;
}
