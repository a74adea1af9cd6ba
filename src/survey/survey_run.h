// periodscan-survey from its command line to its exit status: reads the
// events (and intervals), runs the survey on every core, writes the result
// files whole or not at all and prints one line with the highest peak.
//
// Exit status: 0 done; 1 bad input, or a result file that could not be
// written (no result file is left behind), or a closing line that could not
// be written to standard output (the result files are complete); 2 a bad
// command line (the usage goes to standard error).
#pragma once

namespace periodscan {

inline constexpr int kSurveyInputError = 1;
inline constexpr int kSurveyUsageError = 2;

int survey_main(int argc, char** argv);

}  // namespace periodscan
