#pragma once

#include <string_view>

// The whole of a program of the suite: reads its command line, opens its
// table, says that the random stream starts (the notice "initializing the
// Random generator" on standard output, for an experiment that draws; on
// standard error when the table itself goes to standard output), runs the
// experiment into the table and closes it. It owns the process: the
// standard streams are guarded, a stopping signal removes the table's
// temporary file before it ends the program, and a run longer than a second
// shows its progress on standard error when that is a terminal. Every failure ends in one
// line on standard error naming the program and the problem; returns the
// exit status: 0, 2 for a command line that is not valid (before anything
// was written), 1 for any other failure (a table or standard output that
// could not be written among them).
int run_program(std::string_view name, int argc, const char* const* argv);
