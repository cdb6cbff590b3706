// A Metropolis chain grown by one point per row, with a 100-fold bootstrap
// interval of its mean: "tmerror2.dat" holds the chain length N, the mean of
// the observable over the chain, and the 17th and 85th smallest of the 100
// resample means.
#include "program_runner.hpp"

int main(int argc, char** argv) { return run_program("metropolis_bootstrap", argc, argv); }
