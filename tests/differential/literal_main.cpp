// The program with both regimes replaced by their plain transcriptions: the
// reference that the differential tests hold the program to, byte for byte.
#include "interactive/run.h"
#include "support/literal_regimes.h"

int main() { return periodscan::run_program(periodscan::testing::literal_run); }
