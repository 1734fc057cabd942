#include "lisko.h"

int main(int argc, char* argv[]) { return run_lisko(argc, argv); }
