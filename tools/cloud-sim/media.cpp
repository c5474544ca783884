#include "media.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace dk::cloudsim::detail {
namespace {

// ---- JPEG ------------------------------------------------------------------------------------

// The luminance DC code lengths of the JPEG standard's example tables (categories 0 to 11).
constexpr uint8_t kDcCounts[16] = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};

class BitWriter {
 public:
  explicit BitWriter(std::string& out) : out_(out) {}
  void put(uint32_t bits, int length) {
    for (int i = length - 1; i >= 0; --i) {
      current_ = static_cast<uint8_t>((current_ << 1) | ((bits >> i) & 1));
      if (++filled_ == 8) emit();
    }
  }
  void flush() {
    while (filled_ != 0) put(1, 1);  // pad with one-bits
  }

 private:
  void emit() {
    out_.push_back(static_cast<char>(current_));
    if (current_ == 0xFF) out_.push_back('\0');  // byte stuffing
    current_ = 0;
    filled_ = 0;
  }
  std::string& out_;
  uint8_t current_ = 0;
  int filled_ = 0;
};

void put16(std::string& out, unsigned value) {
  out.push_back(static_cast<char>((value >> 8) & 0xff));
  out.push_back(static_cast<char>(value & 0xff));
}

void marker(std::string& out, uint8_t code) {
  out.push_back(static_cast<char>(0xFF));
  out.push_back(static_cast<char>(code));
}

int category(int value) {
  int magnitude = value < 0 ? -value : value;
  int bits = 0;
  while (magnitude > 0) {
    ++bits;
    magnitude >>= 1;
  }
  return bits;
}

uint8_t clampByte(double v) { return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L)); }

uint64_t mix(uint64_t x) {
  x ^= x >> 33;
  x *= 0xff51afd7ed558ccdULL;
  x ^= x >> 33;
  x *= 0xc4ceb9fe1a85ec53ULL;
  return x ^ (x >> 33);
}

// Colour of the 8x8 block at (bx, by) of a picture of bw x bh blocks: a sky-to-ground gradient
// tinted by the seed, a diagonal band that moves with the seed, and a badge in the accent colour.
Rgb blockColour(int bx, int by, int bw, int bh, uint64_t seed, Rgb accent) {
  const uint64_t h = mix(seed);
  const double tint = static_cast<double>(h % 64);
  const double fy = bh > 1 ? static_cast<double>(by) / (bh - 1) : 0;
  Rgb c{clampByte(40 + tint + 60 * (1 - fy)), clampByte(70 + 90 * (1 - fy)),
        clampByte(110 + 120 * (1 - fy) - tint / 2)};
  const int band = static_cast<int>((h >> 8) % static_cast<uint64_t>(bw + bh));
  if (std::abs(bx + by - band) <= 1) c = {clampByte(c.r + 60.0), clampByte(c.g + 60.0), c.b};
  const int badgeW = std::max(1, bw / 4), badgeH = std::max(1, bh / 3);
  if (bx >= (bw - badgeW) / 2 && bx < (bw + badgeW) / 2 && by >= (bh - badgeH) / 2 &&
      by < (bh + badgeH) / 2) {
    c = accent;
  }
  return c;
}

// ---- MPEG-4 ----------------------------------------------------------------------------------

void put32(std::string& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((value >> shift) & 0xff));
}

void zeros(std::string& out, size_t count) { out.append(count, '\0'); }

// Appends a box: four bytes of size, the type, then the content.
void box(std::string& out, const char* type, const std::string& content) {
  put32(out, static_cast<uint32_t>(8 + content.size()));
  out.append(type, 4);
  out += content;
}

std::string fullBoxHeader(uint8_t version, uint32_t flags) {
  std::string s;
  put32(s, (uint32_t{version} << 24) | (flags & 0xffffff));
  return s;
}

void unityMatrix(std::string& out) {
  const uint32_t m[9] = {0x00010000, 0, 0, 0, 0x00010000, 0, 0, 0, 0x40000000};
  for (uint32_t v : m) put32(out, v);
}

uint8_t payloadByte(uint64_t index, uint64_t seed) {
  return static_cast<uint8_t>(((index * 2654435761ULL) ^ (seed * 0x9E3779B1ULL) ^ (index >> 7)) >> 5);
}

}  // namespace

Rgb accentForEventType(const std::string& type) {
  if (type == "vmdDetected") return {230, 160, 20};
  if (type == "pirDetected") return {220, 60, 40};
  if (type == "audioDetected" || type == "audioCategorized") return {60, 170, 220};
  if (type == "doorbellPressed") return {150, 80, 200};
  if (type == "analyticsDetected") return {40, 190, 90};
  if (type == "faceDetected") return {240, 220, 60};
  return {200, 200, 200};
}

std::string makeJpeg(int width, int height, uint64_t seed, Rgb accent) {
  width = std::clamp(width, 8, 4096);
  height = std::clamp(height, 8, 4096);
  const int bw = (width + 7) / 8, bh = (height + 7) / 8;
  std::string out;
  out.reserve(static_cast<size_t>(bw * bh) * 4 + 700);

  marker(out, 0xD8);  // SOI
  marker(out, 0xE0);  // APP0 (JFIF 1.1, no density, no thumbnail)
  put16(out, 16);
  out.append("JFIF\0", 5);
  out += std::string{1, 1, 0, 0, 1, 0, 1, 0, 0};

  marker(out, 0xDB);  // one quantisation table of ones
  put16(out, 67);
  out.push_back(0);
  out.append(64, 1);

  marker(out, 0xC0);  // baseline frame, three components, no subsampling
  put16(out, 17);
  out.push_back(8);
  put16(out, static_cast<unsigned>(height));
  put16(out, static_cast<unsigned>(width));
  out.push_back(3);
  for (int id = 1; id <= 3; ++id) out += std::string{static_cast<char>(id), 0x11, 0};

  marker(out, 0xC4);  // DC table 0 and an AC table 0 that only knows end-of-block
  put16(out, 2 + 17 + 12 + 17 + 1);
  out.push_back(0x00);
  for (uint8_t n : kDcCounts) out.push_back(static_cast<char>(n));
  for (int v = 0; v < 12; ++v) out.push_back(static_cast<char>(v));
  out.push_back(0x10);
  out.push_back(1);
  out.append(15, '\0');
  out.push_back(0x00);

  marker(out, 0xDA);  // scan header
  put16(out, 12);
  out.push_back(3);
  for (int id = 1; id <= 3; ++id) out += std::string{static_cast<char>(id), 0x00};
  out += std::string{0, 63, 0};

  // Canonical Huffman codes of the DC table.
  uint32_t codes[12];
  int lengths[12];
  {
    uint32_t code = 0;
    int symbol = 0;
    for (int len = 1; len <= 16; ++len) {
      for (int k = 0; k < kDcCounts[len - 1]; ++k) {
        codes[symbol] = code++;
        lengths[symbol] = len;
        ++symbol;
      }
      code <<= 1;
    }
  }

  BitWriter bits(out);
  int previous[3] = {0, 0, 0};
  for (int by = 0; by < bh; ++by) {
    for (int bx = 0; bx < bw; ++bx) {
      const Rgb c = blockColour(bx, by, bw, bh, seed, accent);
      const double y = 0.299 * c.r + 0.587 * c.g + 0.114 * c.b;
      const double cb = 128 - 0.168736 * c.r - 0.331264 * c.g + 0.5 * c.b;
      const double cr = 128 + 0.5 * c.r - 0.418688 * c.g - 0.081312 * c.b;
      const double levels[3] = {y, cb, cr};
      for (int comp = 0; comp < 3; ++comp) {
        // A flat block's DC coefficient is eight times its level-shifted value.
        const int dc = static_cast<int>(std::lround(8 * (levels[comp] - 128)));
        const int diff = dc - previous[comp];
        previous[comp] = dc;
        const int cat = category(diff);
        bits.put(codes[cat], lengths[cat]);
        if (cat > 0) {
          const int raw = diff >= 0 ? diff : diff + (1 << cat) - 1;
          bits.put(static_cast<uint32_t>(raw), cat);
        }
        bits.put(0, 1);  // end of block
      }
    }
  }
  bits.flush();
  marker(out, 0xD9);  // EOI
  return out;
}

Mp4Clip::Mp4Clip(uint64_t totalBytes, double durationSeconds, uint64_t seed) : seed_(seed) {
  const uint32_t timescale = 1000;
  const uint32_t samples = static_cast<uint32_t>(std::clamp(std::lround(durationSeconds), 1L, 600L));
  const uint32_t duration = samples * timescale;

  std::string ftyp;
  {
    std::string c = "isom";
    put32(c, 0x200);
    c += "isomiso2mp41";
    box(ftyp, "ftyp", c);
  }

  // The box tree's size does not depend on the payload size, so it is built twice: once to
  // learn where the payload starts, once with the real sample sizes.
  auto buildMoov = [&](uint64_t payload, uint32_t payloadOffset) {
    std::string mvhd = fullBoxHeader(0, 0);
    put32(mvhd, 0);
    put32(mvhd, 0);
    put32(mvhd, timescale);
    put32(mvhd, duration);
    put32(mvhd, 0x00010000);
    mvhd += std::string{1, 0};
    zeros(mvhd, 10);
    unityMatrix(mvhd);
    zeros(mvhd, 24);
    put32(mvhd, 2);

    std::string tkhd = fullBoxHeader(0, 3);
    put32(tkhd, 0);
    put32(tkhd, 0);
    put32(tkhd, 1);
    put32(tkhd, 0);
    put32(tkhd, duration);
    zeros(tkhd, 8);
    zeros(tkhd, 8);  // layer, alternate group, volume, reserved
    unityMatrix(tkhd);
    put32(tkhd, 1280u << 16);
    put32(tkhd, 720u << 16);

    std::string mdhd = fullBoxHeader(0, 0);
    put32(mdhd, 0);
    put32(mdhd, 0);
    put32(mdhd, timescale);
    put32(mdhd, duration);
    mdhd += std::string{0x55, static_cast<char>(0xC4), 0, 0};  // "und"

    std::string hdlr = fullBoxHeader(0, 0);
    put32(hdlr, 0);
    hdlr += "vide";
    zeros(hdlr, 12);
    hdlr.append("VideoHandler\0", 13);

    std::string vmhd = fullBoxHeader(0, 1);
    zeros(vmhd, 8);

    std::string url = fullBoxHeader(0, 1), dref = fullBoxHeader(0, 0), dinf;
    put32(dref, 1);
    box(dref, "url ", url);
    box(dinf, "dref", dref);

    std::string entry;
    zeros(entry, 6);
    entry += std::string{0, 1};  // data reference index
    zeros(entry, 16);
    entry += std::string{0x05, 0x00, 0x02, static_cast<char>(0xD0)};  // 1280 x 720
    put32(entry, 0x00480000);
    put32(entry, 0x00480000);
    put32(entry, 0);
    entry += std::string{0, 1};
    zeros(entry, 32);
    entry += std::string{0, 0x18, static_cast<char>(0xFF), static_cast<char>(0xFF)};
    std::string stsd = fullBoxHeader(0, 0);
    put32(stsd, 1);
    box(stsd, "mp4v", entry);

    std::string stts = fullBoxHeader(0, 0);
    put32(stts, 1);
    put32(stts, samples);
    put32(stts, timescale);

    std::string stsc = fullBoxHeader(0, 0);
    put32(stsc, 1);
    put32(stsc, 1);
    put32(stsc, samples);
    put32(stsc, 1);

    std::string stsz = fullBoxHeader(0, 0);
    put32(stsz, 0);
    put32(stsz, samples);
    for (uint32_t i = 0; i < samples; ++i) {
      const uint64_t each = payload / samples;
      put32(stsz, static_cast<uint32_t>(i + 1 == samples ? payload - each * (samples - 1) : each));
    }

    std::string stco = fullBoxHeader(0, 0);
    put32(stco, 1);
    put32(stco, payloadOffset);

    std::string stbl, minf, mdia, trak, moov;
    box(stbl, "stsd", stsd);
    box(stbl, "stts", stts);
    box(stbl, "stsc", stsc);
    box(stbl, "stsz", stsz);
    box(stbl, "stco", stco);
    box(minf, "vmhd", vmhd);
    box(minf, "dinf", dinf);
    box(minf, "stbl", stbl);
    box(mdia, "mdhd", mdhd);
    box(mdia, "hdlr", hdlr);
    box(mdia, "minf", minf);
    box(trak, "tkhd", tkhd);
    box(trak, "mdia", mdia);
    box(moov, "mvhd", mvhd);
    box(moov, "trak", trak);
    std::string out;
    box(out, "moov", moov);
    return out;
  };

  const size_t treeSize = ftyp.size() + buildMoov(0, 0).size() + 8;
  // 32-bit box sizes: stay below 4 GiB.
  const uint64_t total = std::clamp<uint64_t>(totalBytes, treeSize + samples, 0xFFFFFFFFULL);
  const uint64_t payload = total - treeSize;
  header_ = ftyp + buildMoov(payload, static_cast<uint32_t>(treeSize));
  put32(header_, static_cast<uint32_t>(8 + payload));
  header_ += "mdat";
  size_ = total;
}

void Mp4Clip::fill(uint64_t offset, char* out, size_t count) const {
  for (size_t i = 0; i < count; ++i) {
    const uint64_t at = offset + i;
    out[i] = at < header_.size() ? header_[static_cast<size_t>(at)]
                                 : static_cast<char>(payloadByte(at - header_.size(), seed_));
  }
}

}  // namespace dk::cloudsim::detail
