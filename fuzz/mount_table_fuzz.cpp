// Mount-table lookups on arbitrary tables and mount points. Input: the
// length of the mount point, the mount point, then the table.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "check.h"
#include "exec/host.h"

namespace {

char* lookup(const std::string& table, const char* path, MountField field) {
    FILE* stream = fmemopen(const_cast<char*>(table.data()), table.size(), "r");
    FUZZ_CHECK(stream);
    char* found = mount_stream_lookup(stream, path, field);
    std::fclose(stream);
    return found;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    const std::size_t plen = std::min<std::size_t>(data[0], size - 1);
    const std::string path(reinterpret_cast<const char*>(data + 1), plen);
    const std::string table(reinterpret_cast<const char*>(data + 1 + plen), size - 1 - plen);

    char* device = lookup(table, path.c_str(), MountField::device);
    char* type = lookup(table, path.c_str(), MountField::fs_type);
    // The line that gives a type has a device in front of it.
    FUZZ_CHECK(!type || device);
    for (const char* found : {device, type}) {
        if (!found)
            continue;
        // Fields are cut at blanks, and a line ends at its newline.
        FUZZ_CHECK(!std::strpbrk(found, " \n"));
        if (path.find('\0') == std::string::npos && !path.empty())
            FUZZ_CHECK(table.find(path + " ") != std::string::npos);
    }
    std::free(device);
    std::free(type);
    return 0;
}
