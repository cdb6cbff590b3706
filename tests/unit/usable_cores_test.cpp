#include <gtest/gtest.h>

#include "usable_cores.hpp"

#ifdef __linux__
#include <sched.h>

// A thread pinned to one core may use one, not none, and otherwise the
// cores of its affinity mask, whatever the machine has.
TEST(UsableCores, CountTheAffinityMask)
{
    cpu_set_t before;
    CPU_ZERO(&before);
    ASSERT_EQ(sched_getaffinity(0, sizeof before, &before), 0);
    int first = 0;
    while (!CPU_ISSET(first, &before)) {
        ++first;
    }
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(first, &one);
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    const unsigned pinned = usable_cores();
    ASSERT_EQ(sched_setaffinity(0, sizeof before, &before), 0);
    EXPECT_EQ(pinned, 1U);
    EXPECT_EQ(usable_cores(), static_cast<unsigned>(CPU_COUNT(&before)));
}
#endif
