// Pixel filters on premultiplied ARGB32 buffers, standing in for the platform's vImage calls:
// the box convolution with edge extension and the 4 x 4 integer colour matrix.
//
// Buffers must not overlap unless stated. The functions keep no state and are safe to call from
// any thread on buffers the caller owns.
#pragma once

#include <array>
#include <cstdint>

#include "platform/graphics/image_renderer.h"

namespace dk::platform {

// Averages every channel over a kernelWidth x kernelHeight box centred on each pixel, pixels
// beyond the edges taking the value of the nearest edge pixel (vImageBoxConvolve_ARGB8888 with
// kvImageEdgeExtend). Kernel sizes must be odd and positive; returns false (and leaves dst alone)
// otherwise or when the buffers differ in size. Separable running sums: the cost per pixel does
// not depend on the kernel size. src and dst may be the same buffer.
bool boxConvolve(const ConstPixelBuffer& src, const PixelBuffer& dst, int kernelWidth, int kernelHeight);

// dst = src x matrix / divisor per pixel (vImageMatrixMultiply_ARGB8888): the pixel's four bytes
// in memory order form a row vector; matrix[row * 4 + column] maps input byte `row` to output
// byte `column`. Results round to nearest and clamp to 0...255, colour bytes also to the pixel's
// alpha so that the result stays valid premultiplied data. src and dst may be the same buffer.
bool matrixMultiply(const ConstPixelBuffer& src, const PixelBuffer& dst, const std::array<std::int16_t, 16>& matrix,
                    std::int32_t divisor);

}  // namespace dk::platform
