// The package-manager script's lists as the required-packages step reads and
// shows them.
#include <cctype>
#include <cstdint>
#include <cstring>
#include <memory>

#include "check.h"
#include "installer/packages.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::unique_ptr<char[]> list(new char[size + 1]);
    std::memcpy(list.get(), data, size);
    list[size] = '\0';
    const std::size_t len = std::strlen(list.get());
    const std::unique_ptr<char[]> original(new char[len + 1]);
    std::memcpy(original.get(), list.get(), len + 1);

    FUZZ_CHECK(check_list_for_mandatory_packages(list.get()) == (list[0] == 'm'));
    bool anyAlnum = false;
    for (std::size_t i = 0; i < len; ++i)
        anyAlnum = anyAlnum || std::isalnum(static_cast<unsigned char>(list[i]));
    FUZZ_CHECK(check_list_empty(list.get()) == (anyAlnum ? 0 : 1));

    prepare_output_message(list.get());
    // Only markers change, each into a dash, at most one per line.
    FUZZ_CHECK(std::strlen(list.get()) == len);
    int changedOnLine = 0;
    for (std::size_t i = 0; i < len; ++i) {
        if (original[i] == '\n')
            changedOnLine = 0;
        if (list[i] == original[i])
            continue;
        FUZZ_CHECK(list[i] == '-' && (original[i] == 'm' || original[i] == 'o') && original[i + 1] == ' ');
        FUZZ_CHECK(++changedOnLine == 1);
    }
    return 0;
}
