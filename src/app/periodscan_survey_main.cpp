// periodscan-survey: all of the run lives in the survey front end.
#include "survey/survey_run.h"

int main(int argc, char** argv) { return periodscan::survey_main(argc, argv); }
