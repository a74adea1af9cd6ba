// What the program shows before it asks anything: the help text and the banner.
#pragma once

#include "textio/record_sink.h"

namespace periodscan {

// The eighteen lines that explain the intensity law, the input file and the
// two regimes with their result files.
void write_help_text(RecordSink& console);

// The banner: two lines of 70 characters. They are not kept as plain text in
// the program but assembled at run time, character by character, from coded
// values.
void AU(RecordSink& console);

}  // namespace periodscan
