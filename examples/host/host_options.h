// The demo host's command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct HostOptions {
  // The embedded cloud's session starts at a fixed moment, so that every run shows the same.
  static constexpr double kFixedStart = 1781530200;  // 2026-06-15 13:30:00 UTC

  std::string cloud;  // empty: the embedded simulator
  std::string token;
  std::string caFile;
  std::optional<int64_t> camera;
  int days = 3;
  // Where virtual time starts: kFixedStart with the embedded cloud, the real time with another
  // one (its recordings and events are those of today), whatever --start says otherwise.
  double start = kFixedStart;
  // Another cloud makes its live video, heart-beats and deadlines in real time, so a session with
  // it runs on the system clock as an app does (unless --start asks for another moment); the
  // embedded cloud's session runs in virtual time (a manual clock), the same day every run.
  bool realClock = false;
  std::string pictures = "dk-host-pictures";
  std::string sound;  // empty: D/sound.wav; "device": the sound device
  // In virtual time, while the session waits on a call in flight, the manual clock stands still;
  // after this much real waiting with the system never idle it moves on at `stalledRate` times
  // real time, so that the call's own deadline comes against a cloud that never answers. The
  // embedded cloud answers well within it even on a busy machine (a few seconds at most, while it
  // makes video), so that its runs stay the same.
  double stalledAfterWallSeconds = 10.0;
  double stalledRate = 100.0;
};

extern const char kHostUsage[];

struct ParsedHostOptions {
  HostOptions options;
  bool help = false;   // --help: print kHostUsage and stop
  std::string error;   // not empty: the command line is wrong, and why
};

// Reads the arguments (without the program name). `realNow` is the real time, in seconds since
// 1970, for "--start now" and for the start with --cloud.
ParsedHostOptions parseHostOptions(const std::vector<std::string>& args, double realNow);
