// The blur behind "no recording" messages on full-screen snapshots of two phone sizes, the box
// passes alone, and text measurement.
#include <benchmark/benchmark.h>

#include "platform/graphics/font.h"
#include "platform/graphics/image_filters.h"
#include "platform/graphics/image_renderer.h"
#include "platform/graphics/screen_scale.h"
#include "ui/image_effects.h"

namespace {

using namespace dk::platform;

// A snapshot-like picture: a gradient sky, a dark ground and some shapes, so nothing is flat.
ImagePtr snapshot(Size points, double scale) {
  return ImageRenderer::render(points, scale, true, [&](GraphicsContext& c) {
    c.drawLinearGradient({{0, Color::rgba(0.3, 0.5, 0.8)}, {1, Color::rgba(0.9, 0.8, 0.6)}}, {0, 0},
                         {0, points.height * 0.6});
    c.setFillColor(Color::rgba(0.2, 0.25, 0.2));
    c.fillRect(Rect(0, points.height * 0.6, points.width, points.height * 0.4));
    for (int i = 0; i < 40; ++i) {
      c.setFillColor(Color::rgba((i * 37 % 100) / 100.0, (i * 59 % 100) / 100.0, (i * 83 % 100) / 100.0));
      c.fillEllipse(Rect((i * 71) % static_cast<int>(points.width), (i * 131) % static_cast<int>(points.height), 30, 20));
    }
  });
}

// args: pixel width, pixel height, scale
void BM_LightEffectRadius5(benchmark::State& state) {
  const double scale = static_cast<double>(state.range(2));
  setMainScreenScale(scale);
  const ImagePtr source = snapshot({state.range(0) / scale, state.range(1) / scale}, scale);
  for (auto _ : state) {
    ImagePtr blurred = dk::applyLightEffectWithBlurRadius(source, 5.0);
    benchmark::DoNotOptimize(blurred);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0) * state.range(1));
  state.counters["box"] = dk::blurBoxSize(5.0, scale);
}
BENCHMARK(BM_LightEffectRadius5)->Args({750, 1334, 2})->Args({1125, 2436, 3})->Unit(benchmark::kMillisecond);

void BM_ThreeBoxPasses(benchmark::State& state) {
  const double scale = static_cast<double>(state.range(2));
  const int box = dk::blurBoxSize(5.0, scale);
  ImageRenderer a({state.range(0) / scale, state.range(1) / scale}, scale);
  a.context().drawImage(*snapshot({state.range(0) / scale, state.range(1) / scale}, scale),
                        Rect(0, 0, state.range(0) / scale, state.range(1) / scale));
  ImageRenderer b({state.range(0) / scale, state.range(1) / scale}, scale);
  a.withPixels([&](PixelBuffer& in) {
    b.withPixels([&](PixelBuffer& out) {
      for (auto _ : state) {
        boxConvolve(in.asConst(), out, box, box);
        boxConvolve(out.asConst(), in, box, box);
        boxConvolve(in.asConst(), out, box, box);
        benchmark::ClobberMemory();
      }
    });
  });
  state.SetItemsProcessed(state.iterations() * state.range(0) * state.range(1));
}
BENCHMARK(BM_ThreeBoxPasses)->Args({750, 1334, 2})->Args({1125, 2436, 3})->Unit(benchmark::kMillisecond);

// The cost of one pass must not grow with the box: same picture, boxes from 3 to 201.
void BM_BoxPassByKernelSize(benchmark::State& state) {
  ImageRenderer a({375, 667}, 2.0), b({375, 667}, 2.0);
  a.context().drawImage(*snapshot({375, 667}, 2.0), Rect(0, 0, 375, 667));
  const int box = static_cast<int>(state.range(0));
  a.withPixels([&](PixelBuffer& in) {
    b.withPixels([&](PixelBuffer& out) {
      for (auto _ : state) {
        boxConvolve(in.asConst(), out, box, box);
        benchmark::ClobberMemory();
      }
    });
  });
}
BENCHMARK(BM_BoxPassByKernelSize)->Arg(3)->Arg(19)->Arg(53)->Arg(201)->Unit(benchmark::kMillisecond);

void BM_SaturationMatrix(benchmark::State& state) {
  ImageRenderer a({375, 667}, 2.0), b({375, 667}, 2.0);
  a.context().drawImage(*snapshot({375, 667}, 2.0), Rect(0, 0, 375, 667));
  const auto matrix = dk::saturationMatrix(1.8);
  a.withPixels([&](PixelBuffer& in) {
    b.withPixels([&](PixelBuffer& out) {
      for (auto _ : state) {
        matrixMultiply(in.asConst(), out, matrix, dk::kSaturationMatrixDivisor);
        benchmark::ClobberMemory();
      }
    });
  });
}
BENCHMARK(BM_SaturationMatrix)->Unit(benchmark::kMillisecond);

void BM_MeasureText(benchmark::State& state) {
  const Font font = Font::named("Roboto-Regular", 13);
  for (auto _ : state) {
    benchmark::DoNotOptimize(font.sizeOfText("Motion detected at the front door"));
  }
}
BENCHMARK(BM_MeasureText);

}  // namespace
