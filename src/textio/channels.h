// The run's three channels, held in one object and passed explicitly to every
// part of the run that writes or reads records.
#pragma once

#include "textio/console.h"
#include "textio/file_channel.h"
#include "textio/line_source.h"
#include "textio/record_sink.h"

namespace periodscan {

struct Channels {
  RecordSink& console;  // console output: help text, prompts, progress
  LineSource& answers;  // console input: answers and pause lines
  FileChannel& file;    // the event-time file, then each result file
  ConsoleMode console_mode = ConsoleMode::kPlain;
};

}  // namespace periodscan
