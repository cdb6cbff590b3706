#pragma once

// The number of cores this process may run on: those of its affinity mask
// (sched_getaffinity on Linux, the process affinity mask on Windows, of its
// processor group), so that a process pinned by taskset, a batch system or
// a container counts only the cores it was given; elsewhere, or when the
// mask cannot be read, std::thread::hardware_concurrency(). At least 1.
unsigned usable_cores();
