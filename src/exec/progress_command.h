// Runner for the installation tool: progress lines drive the shared record.
#pragma once

#include <cstddef>

#include "installer/state.h"

enum { PROGRESS_START = 1, PROGRESS_STOP = 2, PROGRESS_UPDATE = 3 };

int exec_with_progress(const char* cmd, progress_data* progr, char* output_buf, std::size_t output_buf_size);
void show_progress_data(int progress_type, progress_data* progr);

// Judges one piece of output (at most 4095 characters, newlines already
// blanked): a progress line updates progr and returns true.
bool read_progress_line(const char* line, progress_data* progr);
