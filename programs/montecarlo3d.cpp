// Uniform Monte Carlo estimate of the integral of 3x^2 y + 2z^3 over the unit
// cube (exact value 1): "tmontecarlo3D.dat" holds the sample count and the
// running mean after every sample.
#include "program_runner.hpp"

int main(int argc, char** argv) { return run_program("montecarlo3d", argc, argv); }
