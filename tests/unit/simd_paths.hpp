#pragma once

#include <gtest/gtest.h>

#include <string>

#include "simd.hpp"

// Parameterises a test over every instruction-set path this processor runs;
// the scalar path is always among them, so each wide path is held against it.
class EverySimdPath : public testing::TestWithParam<SimdPath> {};

inline std::string simd_path_test_name(const testing::TestParamInfo<SimdPath>& info)
{
    return simd_path_name(info.param);
}

#define INSTANTIATE_FOR_EVERY_SIMD_PATH(suite) \
    INSTANTIATE_TEST_SUITE_P(Paths, suite, testing::ValuesIn(supported_simd_paths()), simd_path_test_name)
