// The Metropolis chain of <128 x^3 y^2 z>, with every error bar of its mean
// at N = 10, 100, ... samples in "tmerrors.dat": the replica study counts how
// often each covers the exact expectation.
#include "program_runner.hpp"

int main(int argc, char** argv) { return run_program("metropolis_errors", argc, argv); }
