#include "simd.hpp"

bool simd_path_supported(SimdPath path)
{
    // The processor-model data is filled by a constructor in the runtime
    // library; initialising again is harmless and makes the check safe even
    // before main.
    __builtin_cpu_init();
    switch (path) {
    case SimdPath::scalar:
        return true;
    case SimdPath::avx2:
        return __builtin_cpu_supports("avx2");
    case SimdPath::avx512:
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("avx512f")
               && __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512bw")
               && __builtin_cpu_supports("avx512vl");
    }
    return false;
}

SimdPath best_simd_path()
{
    for (const SimdPath path : {SimdPath::avx512, SimdPath::avx2}) {
        if (simd_path_supported(path)) {
            return path;
        }
    }
    return SimdPath::scalar;
}

std::vector<SimdPath> supported_simd_paths()
{
    std::vector<SimdPath> paths;
    for (const SimdPath path : {SimdPath::scalar, SimdPath::avx2, SimdPath::avx512}) {
        if (simd_path_supported(path)) {
            paths.push_back(path);
        }
    }
    return paths;
}

const char* simd_path_name(SimdPath path)
{
    switch (path) {
    case SimdPath::scalar:
        return "scalar";
    case SimdPath::avx2:
        return "avx2";
    case SimdPath::avx512:
        return "avx512";
    }
    return "unknown";
}
