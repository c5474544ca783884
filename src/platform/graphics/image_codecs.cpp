#include "platform/graphics/image_codecs.h"

#include <jpeglib.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
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

cairo_surface_t* decodePNG(const std::vector<std::uint8_t>& bytes, bool* opaque, std::string* error) {
  // IHDR follows the signature: length, "IHDR", width, height, bit depth, colour type.
  if (bytes.size() < 33 || std::memcmp(bytes.data() + 12, "IHDR", 4) != 0) {
    *error = "truncated PNG header";
    return nullptr;
  }
  const std::uint32_t w = bigEndian32(bytes.data() + 16), h = bigEndian32(bytes.data() + 20);
  if (w == 0 || h == 0 || w > kMaxDecodedDimension || h > kMaxDecodedDimension) {
    *error = "PNG dimensions out of range";
    return nullptr;
  }
  if (!sizeJustified(w, h, bytes.size(), kMaxPngPixelsPerByte)) {
    *error = "PNG size too large for its data (" + std::to_string(w) + "x" + std::to_string(h) + ")";
    return nullptr;
  }
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
cairo_surface_t* decodeJPEGRaw(const unsigned char* data, size_t size, char* message) {
  jpeg_decompress_struct info;
  JpegError err;
  cairo_surface_t* volatile surface = nullptr;
  info.err = jpeg_std_error(&err.manager);
  err.manager.error_exit = jpegErrorExit;
  err.manager.emit_message = jpegWarningIsFatal;
  if (setjmp(err.jump)) {
    std::snprintf(message, JMSG_LENGTH_MAX, "invalid JPEG data: %.150s", err.message);
    jpeg_destroy_decompress(&info);
    if (surface) cairo_surface_destroy(surface);
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
  jpeg_start_decompress(&info);
  const int w = static_cast<int>(info.output_width), h = static_cast<int>(info.output_height);
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

cairo_surface_t* decodeImage(const std::vector<std::uint8_t>& bytes, bool* opaque, std::string* error) {
  std::string ignored;
  if (!error) error = &ignored;
  bool ignoredOpaque;
  if (!opaque) opaque = &ignoredOpaque;
  if (bytes.size() >= 8 && std::memcmp(bytes.data(), kPngSignature, 8) == 0) return decodePNG(bytes, opaque, error);
  if (bytes.size() >= 3 && bytes[0] == 0xff && bytes[1] == 0xd8 && bytes[2] == 0xff) {
    char message[JMSG_LENGTH_MAX] = {0};
    cairo_surface_t* s = decodeJPEGRaw(bytes.data(), bytes.size(), message);
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
