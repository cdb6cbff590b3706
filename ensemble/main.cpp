// The replica study: many seeds of one program, and how far the estimates
// and their own error estimates can be trusted. All of it is in the library.
#include "cli.hpp"

int main(int argc, char** argv) { return ensemble_main(argc, argv); }
