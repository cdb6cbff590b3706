#pragma once

// A point of the unit cube: the argument of every three-dimensional test
// function and the element of a Metropolis chain. Coordinates are stored in
// the order they are drawn: x, y, z.
struct Point3 {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;

    bool operator==(const Point3&) const = default;
};
