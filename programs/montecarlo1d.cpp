// Uniform Monte Carlo estimate of the integral of sin(pi x) over [0, 1]
// (exact value 2/pi): "tmontecarlo.dat" holds the counter and the running
// mean after every sample. The counter starts at 2 and is the divisor.
#include "program_runner.hpp"

int main(int argc, char** argv) { return run_program("montecarlo1d", argc, argv); }
