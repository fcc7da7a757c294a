// The command runner's reading loop on arbitrary output, read through a
// memory stream. Input: a flag byte (bit 0: the caller's pointer already
// holds an earlier text), then the output.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "check.h"
#include "exec/command.h"
#include "installer/state.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    log_path = nullptr;  // the log is a printf of each block; keep the loop fast
    const bool earlier = data[0] & 1;
    const char* output = reinterpret_cast<const char*>(data + 1);
    const std::size_t n = size - 1;

    FILE* stream = fmemopen(const_cast<char*>(output), n, "r");
    FUZZ_CHECK(stream);
    char* mess = earlier ? strdup("earlier text") : nullptr;
    read_command_output(stream, "fuzz", &mess);
    std::fclose(stream);

    if (n == 0) {
        // Nothing printed: the caller's text stays as it was.
        FUZZ_CHECK(earlier ? mess && std::strcmp(mess, "earlier text") == 0 : mess == nullptr);
    } else {
        // Every byte, NULs included, then the terminator.
        FUZZ_CHECK(mess && std::memcmp(mess, output, n) == 0 && mess[n] == '\0');
    }
    std::free(mess);
    return 0;
}
