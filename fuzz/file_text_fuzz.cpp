// A text file as the file text box reads it: trimmed lines, then each line
// end made a blank and a single newline.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "check.h"
#include "exec/host.h"
#include "screens/input.h"

namespace {

std::string withoutBlanks(std::string s) {
    s.erase(std::remove_if(s.begin(), s.end(), [](char c) { return c == ' ' || c == '\t' || c == '\n'; }), s.end());
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string file(reinterpret_cast<const char*>(data), size);
    FILE* stream = fmemopen(const_cast<char*>(file.data()), file.size(), "r");
    FUZZ_CHECK(stream);
    char* text = readTrimmedLines(stream);
    std::fclose(stream);
    FUZZ_CHECK(text);

    const std::string trimmed = text;
    if (file.find('\0') == std::string::npos) {
        // Only leading blanks go; every line gets one more newline.
        FUZZ_CHECK(withoutBlanks(trimmed) == withoutBlanks(file));
        const auto newlines = std::count(file.begin(), file.end(), '\n');
        const auto lines = newlines + (!file.empty() && file.back() != '\n' ? 1 : 0);
        FUZZ_CHECK(std::count(trimmed.begin(), trimmed.end(), '\n') == newlines + lines);
    }

    joinDoubledNewlines(text);
    FUZZ_CHECK(std::strlen(text) == trimmed.size());
    FUZZ_CHECK(!std::strstr(text, "\n\n"));
    for (std::size_t i = 0; i < trimmed.size(); ++i)
        FUZZ_CHECK(text[i] == trimmed[i] || (trimmed[i] == '\n' && text[i] == ' '));
    std::free(text);
    return 0;
}
