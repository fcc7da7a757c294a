// Text from outside on its way to a shell command line or a terminal: every
// word must reach the shell as exactly one argument with nothing expanded,
// and no tool text may carry a control sequence to the user's terminal.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "check.h"
#include "exec/text.h"

namespace {

constexpr const char* kPlain = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_./,:+@%=-";

// The words a POSIX shell makes of line, or nothing when the line holds an
// unquoted character the shell would act on.
std::optional<std::vector<std::string>> shellWords(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == ' ' || c == '\t' || c == '\n') {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
        } else if (c == '\'') {
            const std::size_t close = line.find('\'', i + 1);
            if (close == std::string::npos)
                return std::nullopt;
            word += line.substr(i + 1, close - i - 1);
            i = close;
            inWord = true;
        } else if (c == '\\') {
            if (++i == line.size())
                return std::nullopt;
            word += line[i];
            inWord = true;
        } else if (c != '\0' && std::strchr(kPlain, c)) {
            word += c;
            inWord = true;
        } else {
            return std::nullopt;
        }
    }
    if (inWord)
        words.push_back(word);
    return words;
}

bool hasTerminalControl(const std::string& s) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if ((c < 0x20 && c != '\n' && c != '\t') || c == 0x7f)
            return true;
        if (c == 0xc2 && i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) >= 0x80 &&
            static_cast<unsigned char>(s[i + 1]) <= 0x9f)
            return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    // Words come from C strings: up to the first NUL.
    const std::string word = text.substr(0, text.find('\0'));
    const auto words = shellWords(shell_arg(word));
    FUZZ_CHECK(words && words->size() == 1 && words->front() == word);

    const std::string safe = terminal_safe(text);
    FUZZ_CHECK(!hasTerminalControl(safe));
    FUZZ_CHECK(safe.size() <= text.size());
    if (!hasTerminalControl(text))
        FUZZ_CHECK(safe == text);

    // Fixed buffers: cut to one byte less than their size, always terminated.
    const std::size_t bufsize = size ? data[0] % 64 : 0;
    char buf[64];
    std::memset(buf, 'z', sizeof buf);
    if (bufsize > 0) {
        copy_cut(buf, bufsize, word.c_str());
        FUZZ_CHECK(std::strlen(buf) < bufsize && word.compare(0, std::strlen(buf), buf) == 0);
        FUZZ_CHECK(std::strlen(buf) == std::min(word.size(), bufsize - 1));
    }
    FUZZ_CHECK(cut(text, bufsize).size() == (bufsize ? std::min(text.size(), bufsize - 1) : 0));
    return 0;
}
