// Sine and cosine of an angle in degrees, for the drawing transform and the drivers' curves.
//
//   double s, c;
//   SinCosDegrees(90, s, c);   // exactly 1 and 0: every multiple of 90 degrees is exact
//
// Evaluated here rather than by the C maths library, so the results are the same bits on every
// platform and the start-up loads no maths library.
#pragma once

namespace vxl {

// NaN for both when the angle is not finite.
void SinCosDegrees(double degrees, double& sine, double& cosine);

// The drawing matrix of a rotation in degrees and a scale: a local point (x, y) maps to
// (x ix + y iy, x jx + y jy). NaN when the angle is not finite.
void RotationScaleMatrix(float degrees, float scaleX, float scaleY, float& ix, float& iy, float& jx,
                         float& jy);

// The number of points the drivers draw an oval of radii rx and ry with: the integer part of
// |rx| + |ry|, at least 12, rounded down to a multiple of 4, and at most 65536. 0 when the radii
// are not finite (nothing is drawn).
int OvalSegmentCount(float rx, float ry);

}  // namespace vxl
