// The blur behind "no recording" messages on full-screen snapshots of two phone sizes, the box
// passes alone, and text measurement.
//
// BM_FiveHugeThumbnails: five event thumbnails of 7000 x 7000 pixels (PNGs of under 300 KB) loaded
// at once through an image downloader from the local cloud, as the timeline would, and kept in its
// memory cache; the argument is the downloader's decode bound in pixels (16384: none, as before
// thumbnails were decoded to size). Counters: the process's peak resident size before and after,
// in MB (run each argument in a process of its own: the peak never goes down).
#include <benchmark/benchmark.h>

#include <png.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cloud-sim/cloud_sim.h"
#include "platform/dispatch/run_loop.h"
#include "platform/graphics/image.h"
#include "platform/media/images/image_cache.h"
#include "platform/media/images/image_downloader.h"

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

// A w x w PNG written row by row (never held whole): soft diagonal bands, so it compresses well.
std::string bandedPng(int w) {
  std::string out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(
      png, &out,
      [](png_structp p, png_bytep data, png_size_t length) {
        static_cast<std::string*>(png_get_io_ptr(p))->append(reinterpret_cast<const char*>(data), length);
      },
      nullptr);
  png_set_IHDR(png, info, static_cast<png_uint_32>(w), static_cast<png_uint_32>(w), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, 9);
  png_write_info(png, info);
  std::vector<png_byte> row(static_cast<size_t>(w) * 3);
  for (int y = 0; y < w; ++y) {
    for (int x = 0; x < w; ++x) {
      const auto band = static_cast<png_byte>(((x + y) / 500) * 40);
      row[static_cast<size_t>(x) * 3] = band;
      row[static_cast<size_t>(x) * 3 + 1] = static_cast<png_byte>(255 - band);
      row[static_cast<size_t>(x) * 3 + 2] = 128;
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

double peakResidentMB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_FiveHugeThumbnails(benchmark::State& state) {
  MainRunLoop::bindToCurrentThread();
  const std::string png = bandedPng(7000);
  dk::cloudsim::GenerateOptions generate;
  generate.cameras = 1;
  generate.days = 1;
  dk::cloudsim::CloudSim sim(dk::cloudsim::World::generate(generate), dk::cloudsim::CloudSimOptions{});
  sim.start();
  for (int i = 0; i < 5; ++i) {
    dk::cloudsim::FaultRule rule = dk::cloudsim::FaultRule::failWith("/thumbs/" + std::to_string(i) + ".png", 200, png);
    rule.contentType = "image/png";
    rule.times = 1 << 20;
    sim.addFault(rule);
  }
  std::string folder = (std::filesystem::temp_directory_path() / "dk-bench-thumbs-XXXXXX").string();
  if (!::mkdtemp(folder.data())) return;
  const double before = peakResidentMB();
  int pixelWidth = 0;
  for (auto _ : state) {
    ImageCache::Config config;
    config.directory = std::filesystem::path(folder) / "cache";
    auto downloader = ImageDownloader::create(std::make_shared<ImageCache>(config));
    downloader->setMaxDecodedPixelSize(static_cast<int>(state.range(0)));
    int answered = 0;
    for (int i = 0; i < 5; ++i) {
      downloader->loadImage(sim.baseUrl() + "/thumbs/" + std::to_string(i) + ".png", kImageCacheMemoryOnly,
                            [&](ImagePtr image, ErrorPtr, bool) {
                              ++answered;
                              if (image) pixelWidth = image->pixelWidth();
                            });
    }
    MainRunLoop::runUntil([&] { return answered == 5; }, 300);
  }
  state.counters["png_kb"] = static_cast<double>(png.size()) / 1024.0;
  state.counters["decoded_width"] = pixelWidth;
  state.counters["peak_before_mb"] = before;
  state.counters["peak_after_mb"] = peakResidentMB();
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}
BENCHMARK(BM_FiveHugeThumbnails)->Arg(1280)->Arg(16384)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
