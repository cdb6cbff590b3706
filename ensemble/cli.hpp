#pragma once

// The ensemble command: parses its arguments, runs, plans, collects or
// measures coverage, and returns the exit status (0; 1 when a replica or a
// table failed; 2 for bad arguments).
int ensemble_main(int argc, char** argv);
