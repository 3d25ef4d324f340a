#pragma once

#include <cstddef>
#include <cstdint>

struct SampleWindow;
struct SampleAxis;

// Bilinear samples of an image on the grey ramp whose 2 × 2 windows lie
// inside it, in the floating-point form that indexed images take
// (BilinearWeights): for sample k with base cell (xi[k], yi[k]) and
// fractions t[k], u[k] (each the coordinate minus its cell, rounded to
// float), out[k] is the one channel of the result.
//
// With SSE2 four samples a step: d = t·u, t − d and u − d in float lanes
// (a single operation on floats rounded once gives the same float whether
// computed in float or in double and then rounded), 1 − t − w01 and the
// weighted sum in double lanes, in the order of the plain form.
void GreyBilinearSamples(const uint8_t* firstRow, size_t stride, const int32_t* xi,
                         const int32_t* yi, const float* t, const float* u, long count,
                         uint8_t* out);

// The kernel walk of `count` samples on one row axis whose windows all lie
// inside an image on the grey ramp: the one channel of each, with the terms
// and roundings of the colour walk (each weight the float product of its
// column and row weights; each sum a float to which the weighted value is
// added in double precision). With SSE2 eight samples a step, their sums in
// double lanes rounded to float after every term, the weights in float lanes.
void GreyWindowsInside(const uint8_t* firstRow, size_t stride, const SampleWindow& window,
                       const SampleAxis* const* columns, int count, const SampleAxis& ay,
                       uint8_t* results);
