// The rectangle, trapezoid and Simpson-weighted rules for the integral of
// sin(pi x) over [0, 1] at n = 2, 4, ..., 8192 intervals, one row per n on
// standard output: n, then the three estimates. Row k is for 2^k intervals.
#include "program_runner.hpp"

int main(int argc, char** argv) { return run_program("quadrature", argc, argv); }
