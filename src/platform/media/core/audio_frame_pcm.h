// Decoded sound frames as the players hand sound on: interleaved signed 16-bit samples. Shared by
// the recording's and the live stream's sound decoders.
//
// Pure functions; thread-safe.
#pragma once

#include <cstdint>
#include <vector>

struct AVFrame;

namespace dk::platform {

// A decoded frame longer than this is not a camera's sound (AAC's are 1024 samples, Opus's at
// most 5760, G.711's as short as its packets), whatever it claims.
inline constexpr int kMaxSoundFrameSamples = 8192;

// Whether `frame` can be appended: some samples and no more than kMaxSoundFrameSamples, in float
// or 16-bit samples (planar or not).
bool framePcmUsable(const AVFrame* frame);
// Appends `frame` to *pcm, interleaved. False, with nothing appended, when it is not usable.
bool appendFramePcm(const AVFrame* frame, std::vector<int16_t>* pcm);

}  // namespace dk::platform
