#pragma once

#include <gtest/gtest.h>

#if SUITE_SIMD
#include <hwy/tests/hwy_gtest.h>

// Runs a test once per instruction set that is both compiled and supported
// by this processor, with the kernel's dispatch restricted to it; the plain
// loops the kernel is held to are the expressions the tests compare with.
using EveryTarget = hwy::TestWithParamTarget;
#define INSTANTIATE_FOR_EVERY_TARGET(suite) HWY_TARGET_INSTANTIATE_TEST_SUITE_P(suite)
#else
// The plain kernel has one form.
class EveryTarget : public testing::TestWithParam<int> {};
#define INSTANTIATE_FOR_EVERY_TARGET(suite) INSTANTIATE_TEST_SUITE_P(Plain, suite, testing::Values(0))
#endif
