// The Metropolis estimate of the metropolis program with a ten-block
// jackknife error over all values taken so far: "tmjack.dat" holds the
// sample count, the running mean and the error. Row 1's error is
// not-a-number (its last block is empty).
#include "program_runner.hpp"

int main(int argc, char** argv) { return run_program("metropolis_jackknife", argc, argv); }
