#include "media.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace dk::cloudsim::detail {
namespace {

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
