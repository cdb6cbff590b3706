// Uniform Monte Carlo estimate of the weighted observable
// exp(-(x^2 + y^2 + z^2)) 128 x^3 y^2 z / 0.416538 over the unit cube, the
// expectation the Metropolis programs sample: "tmontecarlo3D2.dat" holds the
// sample count and the running mean after every sample.
#include "program_runner.hpp"

int main(int argc, char** argv) { return run_program("montecarlo3d_weighted", argc, argv); }
