#include "platform/graphics/image.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <unordered_map>

#include "platform/graphics/cairo_internal.h"
#include "platform/graphics/image_codecs.h"
#include "platform/graphics/screen_scale.h"

namespace dk::platform {
namespace {

void setError(std::string* error, std::string message) {
  if (error) *error = std::move(message);
}

int pixelsFor(double points, double scale) {
  const double px = std::ceil(points * scale - 1e-9);
  return std::max(1, static_cast<int>(std::min(px, 1.0e5)));
}

struct NamedCache {
  std::mutex mutex;
  std::unordered_map<std::string, ImagePtr> images;
};

NamedCache& namedCache() {
  static NamedCache cache;
  return cache;
}

bool isSafeResourceName(const std::string& name) {
  return !name.empty() && name.find('/') == std::string::npos && name.find('\\') == std::string::npos &&
         name != "." && name != ".." && name.find('\0') == std::string::npos;
}

}  // namespace

ImagePtr imageFromSurface(cairo_surface_t* surface, double scale, bool opaque, ImageRenderingMode mode,
                          std::string name) {
  if (!surface || cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    if (surface) cairo_surface_destroy(surface);
    return nullptr;
  }
  cairo_surface_flush(surface);
  return std::make_shared<Image>(std::make_shared<Image::Bitmap>(surface), scale, opaque, mode, std::move(name));
}

cairo_surface_t* copySurface(cairo_surface_t* source) {
  cairo_surface_flush(source);
  const int w = cairo_image_surface_get_width(source), h = cairo_image_surface_get_height(source);
  cairo_surface_t* copy = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  if (cairo_surface_status(copy) != CAIRO_STATUS_SUCCESS) return copy;
  const int srcStride = cairo_image_surface_get_stride(source), dstStride = cairo_image_surface_get_stride(copy);
  const unsigned char* src = cairo_image_surface_get_data(source);
  unsigned char* dst = cairo_image_surface_get_data(copy);
  for (int y = 0; y < h; ++y) std::memcpy(dst + y * dstStride, src + y * srcStride, static_cast<size_t>(w) * 4);
  cairo_surface_mark_dirty(copy);
  return copy;
}

Image::Image(std::shared_ptr<Bitmap> bitmap, double scale, bool opaque, ImageRenderingMode mode, std::string name)
    : bitmap_(std::move(bitmap)), scale_(scale > 0 ? scale : 1), opaque_(opaque), renderingMode_(mode),
      name_(std::move(name)) {
  pixelWidth_ = cairo_image_surface_get_width(bitmap_->surface);
  pixelHeight_ = cairo_image_surface_get_height(bitmap_->surface);
  size_ = {pixelWidth_ / scale_, pixelHeight_ / scale_};
}

ImagePtr Image::create(Size pointSize, double scale, bool opaque) {
  if (!(scale > 0)) scale = 1;
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, pixelsFor(pointSize.width, scale),
                                                  pixelsFor(pointSize.height, scale));
  if (opaque && cairo_surface_status(s) == CAIRO_STATUS_SUCCESS) {
    cairo_t* cr = cairo_create(s);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
  }
  return imageFromSurface(s, scale, opaque);
}

ImagePtr Image::fromPixels(const std::uint8_t* argb32, int pixelWidth, int pixelHeight, int bytesPerRow, double scale,
                           bool opaque) {
  if (!argb32 || pixelWidth <= 0 || pixelHeight <= 0 || bytesPerRow < pixelWidth * 4) return nullptr;
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, pixelWidth, pixelHeight);
  if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(s);
    return nullptr;
  }
  cairo_surface_flush(s);
  unsigned char* dst = cairo_image_surface_get_data(s);
  const int stride = cairo_image_surface_get_stride(s);
  for (int y = 0; y < pixelHeight; ++y) {
    std::memcpy(dst + y * stride, argb32 + static_cast<size_t>(y) * bytesPerRow, static_cast<size_t>(pixelWidth) * 4);
  }
  cairo_surface_mark_dirty(s);
  return imageFromSurface(s, scale, opaque);
}

ImagePtr Image::fromPixelWriter(int pixelWidth, int pixelHeight, double scale, bool opaque,
                                const std::function<bool(std::uint8_t*, int)>& fill) {
  if (pixelWidth <= 0 || pixelHeight <= 0 || pixelWidth > 100000 || pixelHeight > 100000) return nullptr;
  const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, pixelWidth);
  if (stride <= 0) return nullptr;
  // Our own storage, left as malloc gives it: the writer fills every byte, so zeroing is waste.
  // Vectorised writers (FFmpeg's converters) store whole blocks of pixels, past the end of a row
  // that is not a multiple of their width; the slack keeps the last row's spill inside the block.
  constexpr size_t kWriterSlack = 256;
  auto* data = static_cast<unsigned char*>(
      std::malloc(static_cast<size_t>(stride) * static_cast<size_t>(pixelHeight) + kWriterSlack));
  if (!data) return nullptr;
  if (!fill(data, stride)) {
    std::free(data);
    return nullptr;
  }
  cairo_surface_t* s = cairo_image_surface_create_for_data(data, CAIRO_FORMAT_ARGB32, pixelWidth, pixelHeight, stride);
  static const cairo_user_data_key_t kStorageKey{};
  if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS ||
      cairo_surface_set_user_data(s, &kStorageKey, data, std::free) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(s);
    std::free(data);
    return nullptr;
  }
  return imageFromSurface(s, scale, opaque);
}

ImagePtr Image::fromEncodedData(const std::vector<std::uint8_t>& bytes, double scale, std::string* error) {
  bool opaque = false;
  cairo_surface_t* s = decodeImage(bytes, &opaque, error);
  if (!s) return nullptr;
  return imageFromSurface(s, scale, opaque);
}

ImagePtr Image::fromEncodedDataFitting(const std::vector<std::uint8_t>& bytes, int maxPixelSize, double scale,
                                       std::string* error) {
  bool opaque = false;
  cairo_surface_t* s = decodeImageToFit(bytes, maxPixelSize, &opaque, error);
  if (!s) return nullptr;
  return imageFromSurface(s, scale, opaque);
}

ImagePtr Image::fromFile(const std::string& path, double scale, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    setError(error, "cannot open " + path);
    return nullptr;
  }
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string why;
  ImagePtr image = fromEncodedData(bytes, scale, &why);
  if (!image) setError(error, path + ": " + why);
  return image;
}

std::vector<std::string> Image::resourceDirectories() {
  std::vector<std::string> dirs;
  if (const char* env = std::getenv("DK_RESOURCE_DIR"); env && *env) dirs.emplace_back(env);
#ifdef DK_RESOURCE_DIR
  dirs.emplace_back(DK_RESOURCE_DIR);
#endif
#ifdef DK_GENERATED_RESOURCE_DIR
  dirs.emplace_back(DK_GENERATED_RESOURCE_DIR);
#endif
  return dirs;
}

std::optional<std::string> Image::resourceImagePath(const std::string& name, double* scale) {
  if (!isSafeResourceName(name)) return std::nullopt;
  // The variant for the screen's scale first, then the others, sharpest first.
  const int preferred = static_cast<int>(std::lround(mainScreenScale()));
  std::vector<int> scales{preferred};
  for (int s : {3, 2, 1}) {
    if (s != preferred) scales.push_back(s);
  }
  std::error_code ec;
  for (const auto& dir : resourceDirectories()) {
    for (int s : scales) {
      const std::string file = dir + "/images/" + name + (s == 1 ? "" : "@" + std::to_string(s) + "x") + ".png";
      if (std::filesystem::is_regular_file(file, ec)) {
        if (scale) *scale = s;
        return file;
      }
    }
  }
  return std::nullopt;
}

ImagePtr Image::named(const std::string& name) {
  auto& cache = namedCache();
  {
    std::lock_guard<std::mutex> lock(cache.mutex);
    if (auto it = cache.images.find(name); it != cache.images.end()) return it->second;
  }
  double scale = 1;
  const auto path = resourceImagePath(name, &scale);
  if (!path) return nullptr;
  ImagePtr loaded = fromFile(*path, scale);
  if (!loaded) return nullptr;
  auto image = std::make_shared<Image>(loaded->bitmap(), loaded->scale(), loaded->isOpaque(),
                                       ImageRenderingMode::Automatic, name);
  std::lock_guard<std::mutex> lock(cache.mutex);
  // Another thread may have loaded it meanwhile; keep the first so identity stays stable.
  return cache.images.emplace(name, std::move(image)).first->second;
}

void Image::clearNamedCache() {
  auto& cache = namedCache();
  std::unordered_map<std::string, ImagePtr> old;
  std::lock_guard<std::mutex> lock(cache.mutex);
  old.swap(cache.images);
}

ImagePtr Image::withColor(const Color& color, Size size, double scale) {
  if (!(scale > 0)) scale = 1;
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, pixelsFor(size.width, scale),
                                                  pixelsFor(size.height, scale));
  cairo_t* cr = cairo_create(s);
  cairo_set_source_rgba(cr, color.red, color.green, color.blue, color.alpha);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_paint(cr);
  cairo_destroy(cr);
  return imageFromSurface(s, scale, color.alpha >= 1);
}

ImagePtr Image::withRenderingMode(ImageRenderingMode mode) const {
  return std::make_shared<Image>(bitmap_, scale_, opaque_, mode, name_);
}

ImagePtr Image::withScale(double scale) const {
  return std::make_shared<Image>(bitmap_, scale, opaque_, renderingMode_, name_);
}

ImagePtr Image::croppedToPixels(int x, int y, int width, int height) const {
  const int x0 = std::max(0, x), y0 = std::max(0, y);
  const long long x1 = std::min<long long>(pixelWidth_, static_cast<long long>(x) + std::max(0, width));
  const long long y1 = std::min<long long>(pixelHeight_, static_cast<long long>(y) + std::max(0, height));
  if (x1 <= x0 || y1 <= y0) return nullptr;
  const ConstPixelBuffer p = pixels();
  return fromPixels(p.data + static_cast<size_t>(y0) * p.bytesPerRow + static_cast<size_t>(x0) * 4,
                    static_cast<int>(x1 - x0), static_cast<int>(y1 - y0), p.bytesPerRow, 1.0, opaque_);
}

ConstPixelBuffer Image::pixels() const {
  cairo_surface_t* s = bitmap_->surface;
  return {cairo_image_surface_get_data(s), pixelWidth_, pixelHeight_, cairo_image_surface_get_stride(s)};
}

std::uint32_t Image::pixelValue(int x, int y) const {
  if (x < 0 || y < 0 || x >= pixelWidth_ || y >= pixelHeight_) return 0;
  const ConstPixelBuffer p = pixels();
  std::uint32_t v;
  std::memcpy(&v, p.data + static_cast<size_t>(y) * p.bytesPerRow + static_cast<size_t>(x) * 4, 4);
  return v;
}

Color Image::pixelColor(int x, int y) const {
  const std::uint32_t v = pixelValue(x, y);
  const double a = (v >> 24) & 0xff;
  if (a == 0) return Color::clear();
  return {((v >> 16) & 0xff) / a, ((v >> 8) & 0xff) / a, (v & 0xff) / a, a / 255.0};
}

std::vector<std::uint8_t> Image::encodePNG() const { return encodePNGSurface(bitmap_->surface); }

std::vector<std::uint8_t> Image::encodeJPEG(double quality) const {
  return encodeJPEGSurface(bitmap_->surface, quality);
}

namespace {
bool writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes, std::string* error) {
  if (bytes.empty()) {
    setError(error, "encoding failed");
    return false;
  }
  // Written beside the target and renamed, so a failed write never leaves half a file.
  const std::string temp = path + ".part";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) {
      setError(error, "cannot write " + path);
      return false;
    }
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) {
      setError(error, "cannot write " + path);
      std::error_code ec;
      std::filesystem::remove(temp, ec);
      return false;
    }
  }
  std::error_code ec;
  std::filesystem::rename(temp, path, ec);
  if (ec) {
    setError(error, "cannot write " + path + ": " + ec.message());
    std::filesystem::remove(temp, ec);
    return false;
  }
  return true;
}
}  // namespace

bool Image::writePNG(const std::string& path, std::string* error) const {
  return writeBytes(path, encodePNG(), error);
}

bool Image::writeJPEG(const std::string& path, double quality, std::string* error) const {
  return writeBytes(path, encodeJPEG(quality), error);
}

}  // namespace dk::platform
