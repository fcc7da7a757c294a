// Streams that close themselves.
#pragma once

#include <cstdio>
#include <memory>

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;
