// lisko's program: the platform's start-up has split the command line; the
// copy run's result is the exit status.
#include "lisko.h"

int main(int argc, char* argv[]) { return run_lisko(argc, argv); }
