// What a sound test listens for in what a streamer wrote: the WAV file a FileAudioOutput made,
// a tone's pitch and level, and how much of it is silent.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace dk::platform::test {

struct Wav {
  int rate = 0, channels = 0;
  std::vector<int16_t> samples;
};

inline Wav readWav(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  Wav wav;
  if (bytes.size() < 44 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(36, 4, "data") != 0) return wav;
  auto u = [&](size_t at, int count) {
    uint32_t v = 0;
    for (int i = count - 1; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(bytes[at + static_cast<size_t>(i)]);
    return v;
  };
  wav.channels = static_cast<int>(u(22, 2));
  wav.rate = static_cast<int>(u(24, 4));
  const size_t data = std::min<size_t>(u(40, 4), bytes.size() - 44);
  wav.samples.resize(data / 2);
  std::memcpy(wav.samples.data(), bytes.data() + 44, wav.samples.size() * 2);
  return wav;
}

// The tone's frequency, from its upward zero crossings (`n` samples of one channel at `rate`).
inline double toneHz(const int16_t* s, size_t n, int rate) {
  size_t crossings = 0;
  for (size_t i = 1; i < n; ++i) crossings += s[i - 1] < 0 && s[i] >= 0;
  return static_cast<double>(crossings) * rate / static_cast<double>(n);
}

inline int peak(const int16_t* s, size_t n) {
  int most = 0;
  for (size_t i = 0; i < n; ++i) most = std::max(most, std::abs(static_cast<int>(s[i])));
  return most;
}

// The share of `window`-sample windows of `sound` whose peak stays under `level`.
inline double silentShare(const std::vector<int16_t>& sound, size_t window, int level) {
  size_t silent = 0, windows = 0;
  for (size_t at = 0; at + window <= sound.size(); at += window, ++windows) silent += peak(sound.data() + at, window) < level;
  return windows ? static_cast<double>(silent) / static_cast<double>(windows) : 1.0;
}

}  // namespace dk::platform::test
