// An AR(1) chain x_t = 0.9 x_{t-1} + u_t of known mean 0 and variance of the
// mean, with every error bar of its mean at N = 2, 4, 8, ... samples in
// "tar1phi09.dat": the replica study counts how often each covers 0.
#include "program_runner.hpp"

int main(int argc, char** argv) { return run_program("ar1_phi09", argc, argv); }
