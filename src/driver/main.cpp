// The program's entry point: all of the run lives in the run driver.
#include "driver/run.h"

int main() { return periodscan::run_program(); }
