// Metropolis estimate of <128 x^3 y^2 z> under the weight
// exp(-(x^2 + y^2 + z^2)) on the unit cube: one value of the observable after
// every sweep of 1000 updates (or --updates-per-sample). "tmetropolis5.dat"
// holds the sample count, the running mean and the chain's y coordinate,
// which traces the chain.
#include "program_runner.hpp"

int main(int argc, char** argv) { return run_program("metropolis", argc, argv); }
