// Version texts as the package database and uname print them, split in
// place and compared with the minimum tables. Input: a selector byte
// (0: platform table, 1: kernel table, 2: list of kernels), then the text.
#include <cstdint>
#include <cstring>
#include <memory>

#include "check.h"
#include "installer/version_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    const int mode = data[0] % 3;
    // Exactly the text and its terminator, so a read or write past the end is caught.
    const std::size_t n = size - 1;
    std::unique_ptr<char[]> text(new char[n + 1]);
    std::memcpy(text.get(), data + 1, n);
    text[n] = '\0';
    const std::size_t len = std::strlen(text.get());
    const bool hasComponent = std::strspn(text.get(), ".-") < len;
    const bool hasLine = std::strspn(text.get(), "\n") < len;
    const bool hasStab = std::strstr(text.get(), "stab") != nullptr;

    if (mode < 2) {
        const int rc = compare_version(text.get(), mode == 0 ? hqcMin : cvkernelMin);
        FUZZ_CHECK((rc == -2) == !hasComponent);
    } else {
        const int rc = compare_cvkernel_version(text.get());
        FUZZ_CHECK((rc == -2) == !hasLine);
        // Only a kernel of the "stab" family can pass.
        FUZZ_CHECK(rc < 0 || hasStab);
    }
    // Splitting only ever puts terminators into the text.
    for (std::size_t i = 0; i < n; ++i)
        FUZZ_CHECK(text[i] == static_cast<char>(data[1 + i]) || text[i] == '\0');
    return 0;
}
