// Host platform version check: the package database and the running kernel
// against the minimum versions the agent supports.
#include "installer/version_check.h"

#include <cstdlib>
#include <cstring>

#include "exec/command.h"

namespace {

constexpr _ver_elem num(int64_t n) {
    _ver_elem e{NUMBER, {}};
    e.number = n;
    return e;
}

constexpr _ver_elem str(const char* s) {
    _ver_elem e{STRING, {}};
    e.string = s;
    return e;
}

constexpr _ver_elem end() {
    return _ver_elem{END, {}};
}

}  // namespace

// 4.0.0-464
const _ver_elem hqcMin[] = {num(4), num(0), num(0), num(464), end()};
// 2.6.18-028stab060.1
const _ver_elem cvkernelMin[] = {num(2), num(6), num(18), str("028stab060"), num(1), end()};

int compare_version(char* version, const _ver_elem* to_compare) {
    char* save = nullptr;
    char* comp = strtok_r(version, ".-", &save);
    if (!comp)
        return -2;
    const _ver_elem* elem = to_compare;
    for (; comp; comp = strtok_r(nullptr, ".-", &save), ++elem) {
        switch (elem->type) {
        case END:
            return 1;
        case NUMBER: {
            const long long n = std::strtoll(comp, nullptr, 10);
            if (elem->number < n)
                return 1;
            if (elem->number > n)
                return -1;
            break;
        }
        case STRING: {
            const int diff = std::strcmp(comp, elem->string);
            if (diff != 0)
                return diff;
            break;
        }
        }
    }
    return elem->type == END ? 0 : -1;
}

int compare_cvkernel_version(char* versions) {
    char* save = nullptr;
    char* line = strtok_r(versions, "\n", &save);
    if (!line)
        return -2;
    for (; line; line = strtok_r(nullptr, "\n", &save)) {
        if (!std::strstr(line, "stab"))
            continue;
        const int rc = compare_version(line, cvkernelMin);
        if (rc >= 0)
            return rc;
    }
    return -1;
}

int check_hqc_version() {
    // One capture for all four queries: a query that prints nothing leaves the
    // previous query's text in place, and that text is what gets judged.
    CapturedText out;
    char*& raw = out.text;
    auto run = [&](const char* cmd) { return execCmd2(cmd, &raw); };

    if (run("rpm -qf /etc/corvane-release 2>&1") != 0)
        return 1;
    if (!raw || !std::strstr(raw, "corvane-release"))
        return 0;

    if (run("rpm -qf --qf '%{version}.%{release}' /etc/corvane-release") != 0)
        return 1;
    if (compare_version(raw, hqcMin) < 0)
        return 2;

    if (run("rpm -q --qf '%{version}.%{release}\n' --whatprovides cvkernel") != 0)
        return 3;
    if (compare_cvkernel_version(raw) < 0)
        return 3;

    if (run("uname -r") != 0)
        return 1;
    if (compare_cvkernel_version(raw) < 0)
        return 4;
    return 0;
}
