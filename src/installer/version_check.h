// Host platform version check against fixed minimum versions.
#pragma once

#include <cstdint>

enum ver_elem_type : int32_t { END = 0, NUMBER = 1, STRING = 2 };

// One component of a minimum version; a table ends with an END element.
struct _ver_elem {
    ver_elem_type type;
    union {
        int64_t number;
        const char* string;
    };
};

extern const _ver_elem hqcMin[];
extern const _ver_elem cvkernelMin[];

int compare_version(char* version, const _ver_elem* to_compare);
int compare_cvkernel_version(char* versions);
int check_hqc_version();
