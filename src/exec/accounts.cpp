#include "exec/accounts.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "exec/file.h"

namespace {

// The id field must be a plain decimal number; anything else matches nothing.
bool id_field_is(const char* field, std::size_t len, unsigned long id) {
    if (len == 0 || len > 10)
        return false;
    unsigned long value = 0;
    for (std::size_t i = 0; i < len; ++i) {
        if (field[i] < '0' || field[i] > '9')
            return false;
        value = value * 10 + static_cast<unsigned long>(field[i] - '0');
    }
    return value == id;
}

}  // namespace

std::string account_name(const char* file, unsigned long id) {
    FilePtr f(std::fopen(file, "re"));
    if (!f)
        return {};
    std::string found;
    char* line = nullptr;
    std::size_t cap = 0;
    while (getline(&line, &cap, f.get()) >= 0) {
        const char* name_end = std::strchr(line, ':');
        if (!name_end || name_end == line || line[0] == '#')
            continue;
        const char* password_end = std::strchr(name_end + 1, ':');
        if (!password_end)
            continue;
        const char* id_start = password_end + 1;
        const std::size_t id_len = std::strcspn(id_start, ":\n");
        if (id_start[id_len] == ':' && id_field_is(id_start, id_len, id)) {
            found.assign(line, static_cast<std::size_t>(name_end - line));
            break;
        }
    }
    std::free(line);
    return found;
}
