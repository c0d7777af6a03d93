// point2D! and point3D!: two or three IEEE binary32 coordinates in slots 1-3 of the cell.
// Arithmetic works in doubles and stores back as binary32; pair! hands its results here when
// they need fractions or leave the integer range.
#pragma once

#include "core/actions_abi.hpp"
#include "datatypes/float.hpp"

namespace vyn::point {

constexpr int dimension(TypeId type) { return type == TYPE_POINT3D ? 3 : 2; }

// Coordinate i (0-based) of a point.
float coordinate(const Cell& point, int i);
// The point2D! of a pair's coordinates.
Cell from_pair(const Cell& pair);
// A point of the type from its coordinates, each narrowed to binary32 (z is ignored for 2D).
Cell make(TypeId type, double x, double y, double z = 0.0);

// Arithmetic with a point on the left; the result replaces it.
Cell* do_math(Cell* left, const Cell* right, float_::MathOp op);
// The compare action of both point types.
int compare(const Cell* a, const Cell* b, int op);

}  // namespace vyn::point

namespace vyn {

void point2d_init();
void point3d_init();

}  // namespace vyn
