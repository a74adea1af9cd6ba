// The program's entry point: all of the run lives in the run driver.
#include "interactive/run.h"

int main() { return periodscan::run_program(); }
