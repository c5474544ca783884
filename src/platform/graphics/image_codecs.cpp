#include "platform/graphics/image_codecs.h"

#include "platform/graphics/image_shrink.h"

#include <jpeglib.h>
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace dk::platform {
namespace {

constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};

std::uint32_t bigEndian32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

struct ReadCursor {
  const std::vector<std::uint8_t>* bytes;
  size_t offset;
};

cairo_status_t readFromVector(void* closure, unsigned char* data, unsigned int length) {
  auto* cursor = static_cast<ReadCursor*>(closure);
  if (cursor->offset + length > cursor->bytes->size()) return CAIRO_STATUS_READ_ERROR;
  std::memcpy(data, cursor->bytes->data() + cursor->offset, length);
  cursor->offset += length;
  return CAIRO_STATUS_SUCCESS;
}

cairo_status_t appendToVector(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::vector<std::uint8_t>*>(closure)->insert(static_cast<std::vector<std::uint8_t>*>(closure)->end(),
                                                            data, data + length);
  return CAIRO_STATUS_SUCCESS;
}

// Whether a picture of w x h pixels is one `encodedBytes` of data may declare.
bool sizeJustified(std::uint64_t w, std::uint64_t h, size_t encodedBytes, std::uint64_t pixelsPerByte) {
  const std::uint64_t pixels = w * h;
  return pixels <= kMaxDecodedPixels && pixels <= static_cast<std::uint64_t>(encodedBytes) * pixelsPerByte;
}

// Surfaces made from another one's pixels keep that one alive until they go.
const cairo_user_data_key_t kPixelOwnerKey{};

// The size a PNG declares, when it is one we may decode; false with the reason otherwise.
bool acceptablePNGSize(const std::vector<std::uint8_t>& bytes, std::uint32_t* width, std::uint32_t* height,
                       std::string* error) {
  // IHDR follows the signature: length, "IHDR", width, height, bit depth, colour type.
  if (bytes.size() < 33 || std::memcmp(bytes.data() + 12, "IHDR", 4) != 0) {
    *error = "truncated PNG header";
    return false;
  }
  const std::uint32_t w = bigEndian32(bytes.data() + 16), h = bigEndian32(bytes.data() + 20);
  if (w == 0 || h == 0 || w > kMaxDecodedDimension || h > kMaxDecodedDimension) {
    *error = "PNG dimensions out of range";
    return false;
  }
  if (!sizeJustified(w, h, bytes.size(), kMaxPngPixelsPerByte)) {
    *error = "PNG size too large for its data (" + std::to_string(w) + "x" + std::to_string(h) + ")";
    return false;
  }
  *width = w;
  *height = h;
  return true;
}

cairo_surface_t* decodePNG(const std::vector<std::uint8_t>& bytes, bool* opaque, std::string* error) {
  std::uint32_t w = 0, h = 0;
  if (!acceptablePNGSize(bytes, &w, &h, error)) return nullptr;
  ReadCursor cursor{&bytes, 0};
  cairo_surface_t* s = cairo_image_surface_create_from_png_stream(readFromVector, &cursor);
  if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
    *error = std::string("invalid PNG data: ") + cairo_status_to_string(cairo_surface_status(s));
    cairo_surface_destroy(s);
    return nullptr;
  }
  if (cairo_image_surface_get_format(s) == CAIRO_FORMAT_ARGB32) {
    // Grey or colour with alpha, or a tRNS chunk.
    *opaque = false;
    return s;
  }
  const int width = cairo_image_surface_get_width(s), height = cairo_image_surface_get_height(s);
  if (cairo_image_surface_get_format(s) == CAIRO_FORMAT_RGB24) {
    // RGB24 is ARGB32's layout with an unused byte: set that byte to full alpha in place and view
    // the same pixels as ARGB32, rather than painting a second full copy.
    cairo_surface_flush(s);
    unsigned char* data = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < height; ++y) {
      auto* row = reinterpret_cast<std::uint32_t*>(data + static_cast<size_t>(y) * stride);
      for (int x = 0; x < width; ++x) row[x] |= 0xff000000u;
    }
    cairo_surface_t* view = cairo_image_surface_create_for_data(data, CAIRO_FORMAT_ARGB32, width, height, stride);
    if (cairo_surface_status(view) != CAIRO_STATUS_SUCCESS ||
        cairo_surface_set_user_data(view, &kPixelOwnerKey, s,
                                    [](void* owner) { cairo_surface_destroy(static_cast<cairo_surface_t*>(owner)); }) !=
            CAIRO_STATUS_SUCCESS) {
      cairo_surface_destroy(view);
      cairo_surface_destroy(s);
      *error = "out of memory decoding PNG";
      return nullptr;
    }
    *opaque = true;
    return view;
  }
  // Other opaque formats (16-bit channels and the like) are painted into ARGB32.
  cairo_surface_t* argb = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  cairo_t* cr = cairo_create(argb);
  cairo_set_source_surface(cr, s, 0, 0);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_paint(cr);
  cairo_destroy(cr);
  *opaque = cairo_image_surface_get_format(s) == CAIRO_FORMAT_RGB24;
  cairo_surface_destroy(s);
  cairo_surface_flush(argb);
  if (*opaque) {
    // RGB24's unused byte is undefined; make alpha explicit.
    unsigned char* data = cairo_image_surface_get_data(argb);
    const int stride = cairo_image_surface_get_stride(argb);
    for (int y = 0; y < height; ++y) {
      auto* row = reinterpret_cast<std::uint32_t*>(data + y * stride);
      for (int x = 0; x < width; ++x) row[x] |= 0xff000000u;
    }
    cairo_surface_mark_dirty(argb);
  }
  return argb;
}

struct JpegError {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void jpegErrorExit(j_common_ptr info) {
  auto* err = reinterpret_cast<JpegError*>(info->err);
  (*info->err->format_message)(info, err->message);
  std::longjmp(err->jump, 1);
}

// libjpeg reports corrupt data as a warning and goes on with grey: a warning ends the decode.
void jpegWarningIsFatal(j_common_ptr info, int level) {
  if (level < 0) jpegErrorExit(info);
}

void jpegSilence(j_common_ptr, int) {}

// Kept free of C++ objects with destructors: libjpeg reports errors by longjmp.
cairo_surface_t* decodeJPEGRaw(const unsigned char* data, size_t size, int maxPixelSize, char* message) {
  jpeg_decompress_struct info;
  JpegError err;
  cairo_surface_t* volatile surface = nullptr;
  RowShrinker* volatile shrinker = nullptr;
  unsigned char* volatile rgbRow = nullptr;
  info.err = jpeg_std_error(&err.manager);
  err.manager.error_exit = jpegErrorExit;
  err.manager.emit_message = jpegWarningIsFatal;
  if (setjmp(err.jump)) {
    std::snprintf(message, JMSG_LENGTH_MAX, "invalid JPEG data: %.150s", err.message);
    jpeg_destroy_decompress(&info);
    if (surface) cairo_surface_destroy(surface);
    delete shrinker;
    std::free(rgbRow);
    return nullptr;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
  jpeg_read_header(&info, TRUE);
  if (info.image_width == 0 || info.image_height == 0 || info.image_width > kMaxDecodedDimension ||
      info.image_height > kMaxDecodedDimension) {
    std::snprintf(message, JMSG_LENGTH_MAX, "JPEG dimensions out of range");
    jpeg_destroy_decompress(&info);
    return nullptr;
  }
  // Checked before jpeg_start_decompress, which allocates whole-image buffers for progressive data.
  if (!sizeJustified(info.image_width, info.image_height, size, kMaxJpegPixelsPerByte)) {
    std::snprintf(message, JMSG_LENGTH_MAX, "JPEG size too large for its data (%ux%u)", info.image_width,
                  info.image_height);
    jpeg_destroy_decompress(&info);
    return nullptr;
  }
  info.out_color_space = JCS_RGB;
  const unsigned longer = std::max(info.image_width, info.image_height);
  if (maxPixelSize > 0 && longer > static_cast<unsigned>(maxPixelSize)) {
    // libjpeg's own reduction first (cheap: it skips most of the transform), to no less than
    // the bound; the rest by averaging blocks.
    info.scale_num = 1;
    info.scale_denom = 1;
    for (unsigned denom : {8u, 4u, 2u}) {
      if ((longer + denom - 1) / denom >= static_cast<unsigned>(maxPixelSize)) {
        info.scale_denom = denom;
        break;
      }
    }
  }
  jpeg_start_decompress(&info);
  const int w = static_cast<int>(info.output_width), h = static_cast<int>(info.output_height);
  if (maxPixelSize > 0 && std::max(w, h) > maxPixelSize) {
    shrinker = new RowShrinker(w, h, shrinkFactor(w, h, maxPixelSize));
    rgbRow = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(w) * 4));
    if (!shrinker->ready() || !rgbRow) {
      std::snprintf(message, JMSG_LENGTH_MAX, "out of memory decoding JPEG");
      jpeg_destroy_decompress(&info);
      delete shrinker;
      std::free(rgbRow);
      return nullptr;
    }
    while (info.output_scanline < info.output_height) {
      JSAMPROW target = rgbRow + w;  // expanded leftwards in place, as below
      jpeg_read_scanlines(&info, &target, 1);
      auto* out = reinterpret_cast<std::uint32_t*>(rgbRow);
      for (int x = 0; x < w; ++x) {
        const unsigned char* p = rgbRow + w + 3 * x;
        out[x] = 0xff000000u | (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
      }
      shrinker->addRow(out);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    std::free(rgbRow);
    cairo_surface_t* shrunk = shrinker->finish();
    delete shrinker;
    return shrunk;
  }
  surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    std::snprintf(message, JMSG_LENGTH_MAX, "out of memory decoding JPEG");
    jpeg_destroy_decompress(&info);
    cairo_surface_destroy(surface);
    return nullptr;
  }
  cairo_surface_flush(surface);
  unsigned char* pixels = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  // Each RGB row is decoded into the right half of its own ARGB row, then expanded leftwards in place.
  while (info.output_scanline < info.output_height) {
    unsigned char* row = pixels + static_cast<size_t>(info.output_scanline) * stride;
    JSAMPROW target = row + w;  // 3w bytes fit after the first w bytes of a 4w-byte row
    jpeg_read_scanlines(&info, &target, 1);
    auto* out = reinterpret_cast<std::uint32_t*>(row);
    for (int x = 0; x < w; ++x) {
      const unsigned char* p = row + w + 3 * x;
      out[x] = 0xff000000u | (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
    }
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  cairo_surface_mark_dirty(surface);
  return surface;
}

}  // namespace

namespace {

struct PngInput {
  const std::uint8_t* data;
  size_t size;
  size_t offset;
};

void pngReadFromMemory(png_structp png, png_bytep out, png_size_t length) {
  auto* in = static_cast<PngInput*>(png_get_io_ptr(png));
  if (length > in->size - in->offset) png_error(png, "truncated PNG data");
  std::memcpy(out, in->data + in->offset, length);
  in->offset += length;
}

void pngSilence(png_structp, png_const_charp) {}

// Kept free of C++ objects with destructors: libpng reports errors by longjmp.
cairo_surface_t* decodePNGRowsRaw(const std::uint8_t* data, size_t size, int maxPixelSize, bool* opaque, bool* interlaced,
                                  char* message, size_t messageSize) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, pngSilence);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    std::snprintf(message, messageSize, "out of memory decoding PNG");
    return nullptr;
  }
  PngInput input{data, size, 0};
  RowShrinker* volatile shrinker = nullptr;
  std::uint32_t* volatile row = nullptr;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    delete shrinker;
    std::free(row);
    std::snprintf(message, messageSize, "invalid PNG data");
    return nullptr;
  }
  png_set_read_fn(png, &input, pngReadFromMemory);
  png_read_info(png, info);
  const int w = static_cast<int>(png_get_image_width(png, info)), h = static_cast<int>(png_get_image_height(png, info));
  const int colour = png_get_color_type(png, info);
  *opaque = !(colour & PNG_COLOR_MASK_ALPHA) && !png_get_valid(png, info, PNG_INFO_tRNS);
  *interlaced = png_get_interlace_type(png, info) != PNG_INTERLACE_NONE;
  if (*interlaced) {
    png_destroy_read_struct(&png, &info, nullptr);
    return nullptr;
  }
  // Every kind of PNG as 8-bit B, G, R, A bytes: cairo's ARGB32 words, not yet premultiplied.
  png_set_expand(png);
  png_set_strip_16(png);
  png_set_gray_to_rgb(png);
  png_set_bgr(png);
  png_set_filler(png, 0xff, PNG_FILLER_AFTER);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != static_cast<png_size_t>(w) * 4) png_error(png, "unexpected PNG row layout");
  shrinker = new RowShrinker(w, h, shrinkFactor(w, h, maxPixelSize));
  row = static_cast<std::uint32_t*>(std::malloc(static_cast<size_t>(w) * 4));
  if (!shrinker->ready() || !row) png_error(png, "out of memory");
  for (int y = 0; y < h; ++y) {
    png_read_row(png, reinterpret_cast<png_bytep>(row), nullptr);
    if (!*opaque) {
      for (int x = 0; x < w; ++x) {
        const std::uint32_t p = row[x], a = p >> 24;
        auto mul = [a](std::uint32_t c) { return (c * a + 127) / 255; };
        row[x] = (a << 24) | (mul((p >> 16) & 0xff) << 16) | (mul((p >> 8) & 0xff) << 8) | mul(p & 0xff);
      }
    }
    shrinker->addRow(row);
  }
  png_destroy_read_struct(&png, &info, nullptr);
  std::free(row);
  cairo_surface_t* shrunk = shrinker->finish();
  delete shrinker;
  return shrunk;
}

// A PNG larger than the bound, decoded row by row into its shrunk picture.
cairo_surface_t* decodePNGToFit(const std::vector<std::uint8_t>& bytes, int maxPixelSize, bool* opaque,
                                std::string* error) {
  std::uint32_t w = 0, h = 0;
  if (!acceptablePNGSize(bytes, &w, &h, error)) return nullptr;
  const auto longer = static_cast<int>(std::max(w, h));
  if (longer <= maxPixelSize) return decodePNG(bytes, opaque, error);
  char message[128] = {0};
  bool interlaced = false;
  cairo_surface_t* s = decodePNGRowsRaw(bytes.data(), bytes.size(), maxPixelSize, opaque, &interlaced, message,
                                        sizeof message);
  if (s) return s;
  if (!interlaced) {
    *error = message;
    return nullptr;
  }
  // Interlaced rows come in passes: the whole picture is decoded first, so only a little larger.
  if (longer > 2 * maxPixelSize) {
    *error = "interlaced PNG far larger than it is shown (" + std::to_string(w) + "x" + std::to_string(h) + ")";
    return nullptr;
  }
  cairo_surface_t* whole = decodePNG(bytes, opaque, error);
  if (!whole) return nullptr;
  const int width = cairo_image_surface_get_width(whole), height = cairo_image_surface_get_height(whole);
  RowShrinker shrinker(width, height, shrinkFactor(width, height, maxPixelSize));
  const unsigned char* pixels = cairo_image_surface_get_data(whole);
  const int stride = cairo_image_surface_get_stride(whole);
  for (int y = 0; y < height; ++y) {
    shrinker.addRow(reinterpret_cast<const std::uint32_t*>(pixels + static_cast<size_t>(y) * stride));
  }
  cairo_surface_destroy(whole);
  s = shrinker.finish();
  if (!s) *error = "out of memory decoding PNG";
  return s;
}

}  // namespace

cairo_surface_t* decodeImage(const std::vector<std::uint8_t>& bytes, bool* opaque, std::string* error) {
  return decodeImageToFit(bytes, 0, opaque, error);
}

cairo_surface_t* decodeImageToFit(const std::vector<std::uint8_t>& bytes, int maxPixelSize, bool* opaque,
                                  std::string* error) {
  std::string ignored;
  if (!error) error = &ignored;
  bool ignoredOpaque;
  if (!opaque) opaque = &ignoredOpaque;
  if (bytes.size() >= 8 && std::memcmp(bytes.data(), kPngSignature, 8) == 0) {
    return maxPixelSize > 0 ? decodePNGToFit(bytes, maxPixelSize, opaque, error) : decodePNG(bytes, opaque, error);
  }
  if (bytes.size() >= 3 && bytes[0] == 0xff && bytes[1] == 0xd8 && bytes[2] == 0xff) {
    char message[JMSG_LENGTH_MAX] = {0};
    cairo_surface_t* s = decodeJPEGRaw(bytes.data(), bytes.size(), std::max(maxPixelSize, 0), message);
    if (!s) *error = message;
    *opaque = s != nullptr;
    return s;
  }
  *error = bytes.empty() ? "no image data" : "unknown image format (neither PNG nor JPEG)";
  return nullptr;
}

std::vector<std::uint8_t> encodePNGSurface(cairo_surface_t* surface) {
  std::vector<std::uint8_t> out;
  if (cairo_surface_write_to_png_stream(surface, appendToVector, &out) != CAIRO_STATUS_SUCCESS) out.clear();
  return out;
}

namespace {
bool encodeJPEGRaw(const unsigned char* pixels, int w, int h, int stride, int quality, unsigned char** buffer,
                   unsigned long* size, unsigned char* row) {
  jpeg_compress_struct info;
  JpegError err;
  info.err = jpeg_std_error(&err.manager);
  err.manager.error_exit = jpegErrorExit;
  err.manager.emit_message = jpegSilence;
  if (setjmp(err.jump)) {
    jpeg_destroy_compress(&info);
    return false;
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, buffer, size);
  info.image_width = static_cast<JDIMENSION>(w);
  info.image_height = static_cast<JDIMENSION>(h);
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    const auto* in = reinterpret_cast<const std::uint32_t*>(pixels + static_cast<size_t>(info.next_scanline) * stride);
    // Premultiplied colour is the colour over black.
    for (int x = 0; x < w; ++x) {
      row[3 * x] = (in[x] >> 16) & 0xff;
      row[3 * x + 1] = (in[x] >> 8) & 0xff;
      row[3 * x + 2] = in[x] & 0xff;
    }
    JSAMPROW r = row;
    jpeg_write_scanlines(&info, &r, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return true;
}
}  // namespace

std::vector<std::uint8_t> encodeJPEGSurface(cairo_surface_t* surface, double quality) {
  cairo_surface_flush(surface);
  const int w = cairo_image_surface_get_width(surface), h = cairo_image_surface_get_height(surface);
  const int q = std::clamp(static_cast<int>(quality * 100 + 0.5), 1, 100);
  std::vector<unsigned char> row(static_cast<size_t>(w) * 3);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  std::vector<std::uint8_t> out;
  if (encodeJPEGRaw(cairo_image_surface_get_data(surface), w, h, cairo_image_surface_get_stride(surface), q, &buffer,
                    &size, row.data())) {
    out.assign(buffer, buffer + size);
  }
  std::free(buffer);
  return out;
}

}  // namespace dk::platform
