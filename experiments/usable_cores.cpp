#include "usable_cores.hpp"

#include <algorithm>
#include <thread>

#if defined(__linux__)
#include <sched.h>
#elif defined(_WIN32)
#include <windows.h>
#endif

unsigned usable_cores()
{
#if defined(__linux__)
    cpu_set_t mask;
    CPU_ZERO(&mask);
    if (sched_getaffinity(0, sizeof mask, &mask) == 0 && CPU_COUNT(&mask) > 0) {
        return static_cast<unsigned>(CPU_COUNT(&mask));
    }
#elif defined(_WIN32)
    DWORD_PTR process = 0;
    DWORD_PTR system = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system) != 0 && process != 0) {
        unsigned count = 0;
        for (; process != 0; process &= process - 1) {
            ++count;
        }
        return count;
    }
#endif
    return std::max(1U, std::thread::hardware_concurrency());
}
