// The event-time file: asked for by name, counted, read and checked.
//
// Each event time is the first number on its line (any further columns are
// ignored); lines of blanks give no event; the list ends at the end of the
// file or just before the first line whose first item is not a number (a
// heading, a line that starts with a comma or a "/", a number beyond the
// 4-byte range). The times must be non-decreasing, and the last must be
// larger than the first.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "textio/channels.h"

namespace periodscan {

// The file name as typed: the first 64 characters of the answer, leading
// blanks removed, up to the last non-blank character. Only the blank counts
// as a blank ("  a b.txt  " -> "a b.txt"; a tab stays part of the name).
std::string trim_file_name(std::string_view line64);

// Asks for the file until one opens, counts the times, obtains storage for
// exactly that many, reads them and checks them. Returns the event list, or
// nothing after an error stop (its lines, the pause and the stop line have
// then been written).
std::optional<std::vector<float>> read_event_list(Channels& io);

}  // namespace periodscan
