// The installation log: one appended, time-stamped entry per call.
#pragma once

#include <cstddef>

// Opens path for appending, as every writer of the log must: no link is
// followed, only a regular file is accepted, a new file is created with mode
// 0600, and nothing blocks. Returns the descriptor (close-on-exec, blocking)
// or -1. Async-signal-safe.
int open_log(const char* path);

// Appends "<time stamp>: <message>" to log_path. Silent on every failure.
void write_log(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Local time as "%Y-%m-%dT%T%z" into buf[len].
void get_date(char* buf, std::size_t len);
