// One piece of the installation tool's output as the progress runner judges
// it. Input: number of parts, part, then the piece (cut as the runner cuts it).
#include <cstdint>
#include <cstring>
#include <string>

#include "check.h"
#include "exec/progress_command.h"
#include "exec/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    progress_data progr{};
    // The run operations hold both in one byte.
    progr.num_parts = data[0];
    progr.part = data[1];
    std::memset(progr.message, 'z', sizeof progr.message - 1);
    const progress_data before = progr;

    // What one read of the runner holds: at most 4095 bytes, newlines blanked.
    std::string piece(reinterpret_cast<const char*>(data + 2), size - 2);
    piece = cut(piece);
    for (char& c : piece)
        if (c == '\n')
            c = ' ';
    const char* line = piece.c_str();

    const bool isProgress = read_progress_line(line, &progr);
    FUZZ_CHECK(isProgress == (line[0] == '['));
    if (!isProgress) {
        FUZZ_CHECK(std::memcmp(&progr, &before, sizeof progr) == 0);
        return 0;
    }
    FUZZ_CHECK(std::strlen(line) <= 7 ? progr.message[0] == '\0' : std::strcmp(progr.message, line + 7) == 0);
    // Three characters read as "%i" give -99 to 999.
    if (progr.num_parts <= 1)
        FUZZ_CHECK(progr.progress >= -99 && progr.progress <= 999);
    FUZZ_CHECK(progr.num_parts == before.num_parts && progr.part == before.part);
    return 0;
}
