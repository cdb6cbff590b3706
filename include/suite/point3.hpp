#pragma once

#include <concepts>
#include <type_traits>

#include "suite/uniform_engine.hpp"

namespace suite {

// A point of the unit cube: the argument of a three-dimensional integrand or
// weight and the element of a Metropolis chain. Coordinates are stored in
// the order they are drawn: x, y, z.
struct Point3 {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;

    friend bool operator==(const Point3&, const Point3&) = default;
};

// One uniform deviate in [0, 1) widened to double, from a source: the
// engine (its historic value), or any callable that returns a real in
// [0, 1) (a test's scripted deviates, say).
template <class Source>
double uniform_deviate(Source& source)
{
    if constexpr (std::is_same_v<std::remove_cv_t<Source>, UniformEngine>) {
        return source.next_double();
    } else {
        return static_cast<double>(source());
    }
}

// Sets x, y and z, in that order, to three fresh deviates.
template <class Source>
void draw_point(Point3& p, Source& source)
{
    p.x = uniform_deviate(source);
    p.y = uniform_deviate(source);
    p.z = uniform_deviate(source);
}

}  // namespace suite
