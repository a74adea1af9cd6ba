// The window event-count file: one record per window, in window order, with
// the window's time mark (the x coordinate of its grid column) in the general
// spelling of width 15 and its event count in an integer field of width 10.
// No header. A count of 0 leaves the field blank: the marks 4, 6 with counts
// 1, 0 give
//       4.00000             1
//       6.00000
// (each line 25 characters, the second ending in ten blanks).
#pragma once

#include <cstdint>
#include <span>

#include "textio/record_sink.h"

namespace periodscan {

inline constexpr const char* kCountFileName = "NumbOfEvents_in_Windows.dat";

// Writes the records for counts[0..Nw-1] with the time marks of grid_file.h
// (xmin the first window's mark, S the window shift); the caller opens and
// closes the file.
void write_counts(RecordSink& sink, std::span<const std::int32_t> counts, float xmin, float S);

}  // namespace periodscan
