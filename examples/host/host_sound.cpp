// What the session heard: the WAV file the camera's sound went to, told as stretches of tone
// (with the tone's pitch, from its zero crossings) and of silence, a part at a time (the
// recording played, then the live view).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "host_session.h"

namespace {

uint32_t littleEndian(const std::string& bytes, size_t at, int count) {
  uint32_t value = 0;
  for (int i = count - 1; i >= 0; --i) value = (value << 8) | static_cast<uint8_t>(bytes[at + static_cast<size_t>(i)]);
  return value;
}

// One quarter second of sound: its pitch in Hz, 0 for silence, -1 for a sound without one.
double pitchOf(const int16_t* samples, size_t count, size_t stride, int rate) {
  int peak = 0;
  size_t crossings = 0, first = 0, last = 0;
  for (size_t i = 0; i < count; ++i) {
    peak = std::max(peak, std::abs(static_cast<int>(samples[i * stride])));
    if (i > 0 && samples[(i - 1) * stride] < 0 && samples[i * stride] >= 0) {
      if (crossings++ == 0) first = i;
      last = i;
    }
  }
  if (peak < 64) return 0;
  if (crossings < 2) return -1;
  // Periods between the first and the last crossing: a window only partly sounding still tells
  // the pitch.
  return static_cast<double>(crossings - 1) * rate / static_cast<double>(last - first);
}

std::string describe(double pitch) {
  if (pitch == 0) return "silence";
  if (pitch < 0) return "a sound";
  return "a " + std::to_string(static_cast<int>(std::lround(pitch / 10) * 10)) + " Hz tone";
}

}  // namespace

void HostSession::describeSound(const char* where) {
  if (sound_file_.empty()) return;
  std::ifstream in(sound_file_, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.size() <= 44 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(36, 4, "data") != 0) {
    if (!where) return;
    std::printf("  heard nothing (%s holds no sound)\n", sound_file_.string().c_str());
    return;
  }
  const auto channels = static_cast<size_t>(littleEndian(bytes, 22, 2));
  const auto rate = static_cast<int>(littleEndian(bytes, 24, 4));
  if (channels == 0 || rate <= 0) return;
  std::vector<int16_t> samples((bytes.size() - 44) / 2);
  std::memcpy(samples.data(), bytes.data() + 44, samples.size() * 2);
  const size_t frames = samples.size() / channels, window = static_cast<size_t>(rate) / 4;
  const auto first = std::min(frames, static_cast<size_t>(std::llround(sound_described_ * rate)));
  sound_described_ = static_cast<double>(frames) / rate;
  if (!where) return;
  std::printf("  heard %s (%s, %d Hz, %.2f s from %.2f s):\n", where, sound_file_.filename().string().c_str(), rate,
              static_cast<double>(frames - first) / rate, static_cast<double>(first) / rate);
  if (first == frames) std::printf("    nothing\n");
  // A window joins the stretch before it when both are silent or sound at about the same pitch (a
  // window where one recording gives way to the next measures a little off).
  auto same = [](double a, double b) { return a == b || (a > 0 && b > 0 && std::abs(a - b) < 0.15 * b); };
  double current = -2;  // nothing yet
  size_t from = first;
  for (size_t at = first; at < frames; at += window) {
    const double pitch = pitchOf(samples.data() + at * channels, std::min(window, frames - at), channels, rate);
    if (!same(pitch, current)) {
      if (current != -2) {
        std::printf("    %6.2f-%6.2f s  %s\n", static_cast<double>(from) / rate, static_cast<double>(at) / rate,
                    describe(current).c_str());
      }
      current = pitch;
      from = at;
    }
  }
  if (current != -2) {
    std::printf("    %6.2f-%6.2f s  %s\n", static_cast<double>(from) / rate, static_cast<double>(frames) / rate,
                describe(current).c_str());
  }
}
