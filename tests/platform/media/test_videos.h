// Small video files made in the tests with FFmpeg's encoders, and a plain sequential decode of
// them to hold the player's decoder against: every picture in the order the decoder gives it,
// with the presentation time the container gives it.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/graphics/image.h"

namespace dk::platform::test {

struct TestVideoOptions {
  std::string encoder = "libx264";  // or "mpeg4", "mpeg2video"
  std::string container = "mp4";    // or "mpegts" (a live segment)
  int width = 96;
  int height = 64;
  int fps = 10;
  int frames = 40;
  int gop = 12;
  int bFrames = 3;
  bool openGop = false;
  // The first frame's presentation time; above 0 the file starts with an empty edit that long.
  double startSeconds = 0;
  // Packets carry their length; without, the muxer cannot tell how long the last frame lasts.
  bool packetDurations = true;
  // The index (moov) before the media, as a file made for progressive playback has it.
  bool indexFirst = false;

  // Pictures painted from colours (in place of the moving pattern), `rgb(x, y)` for every frame,
  // made YUV with the matrix and range the stream is tagged with (the tags below); encoded nearly
  // losslessly so that the colours come back within a step or two.
  std::function<std::array<uint8_t, 3>(int x, int y)> rgb;
  int colorspace = 2;      // AVColorSpace: 2 untagged, 1 BT.709, 6 BT.601 (SMPTE 170M)
  bool fullRange = false;  // tagged full range (0-255) rather than limited (16-235)
  // A display matrix stored with the stream, as a phone's or rotated camera's recording has it.
  std::optional<std::array<int32_t, 9>> displayMatrix;
  // A bitstream filter applied to every packet before it is stored ("h264_metadata=...").
  std::string bitstreamFilter;
  // The mp4 muxer's own "movflags" (e.g. "frag_keyframe+empty_moov+default_base_moof" for a
  // fragmented file, "+global_sidx" for its index up front), and its "frag_duration" in seconds
  // (0: the muxer's default).
  std::string movflags;
  double fragmentSeconds = 0;
  // A variable frame rate: each frame lasts the next of these milliseconds in turn (empty: 1/fps).
  std::vector<int> frameMilliseconds;
  // Options of the muxer ("hls_time", ...); a muxer that writes files of its own (hls) opens them.
  std::vector<std::pair<std::string, std::string>> muxerOptions;
  // Interlaced H.264 (libx264): each picture's two fields taken half a frame apart, the top one
  // first unless `bottomFieldFirst`. Painted (in place of the moving pattern) as bright upright
  // bars on a dark ground moving sideways 5 pixels a field, so that a picture shown with its
  // fields woven combs at every bar's edges (see combing()).
  bool interlaced = false;
  bool bottomFieldFirst = false;
  // From this frame on, pictures 32 pixels wider, from an encoder restarted with its parameter
  // sets in the stream (libx264 without B-frames); -1: one size throughout.
  int otherSizeFrom = -1;
};

// How much a picture combs: the share of vertically adjacent pixel pairs whose brightness differs
// by more than a third of the range. Near 0 for the bars of an interlaced test video shown whole,
// about 0.3 with their fields woven.
double combing(const Image& picture);

// Writes the video file; false with a reason in *why.
bool writeTestVideo(const std::string& path, const TestVideoOptions& options, std::string* why);

// A clip cut from the MPEG-4 file at `source` with stream copy, as a cloud trims one without
// decoding: the packets from the `firstPacket`-th in decode order on (usually not a key frame),
// their times moved so that that packet's picture is shown at 0. Pictures decoded after it but
// shown before it get negative times, which the muxer's edit list cuts. False with a reason.
bool cutTestClip(const std::string& source, const std::string& path, size_t firstPacket, std::string* why);

// The MPEG-4 file at `source` written again by the mp4 muxer with stream copy, every stream kept,
// under its `movflags` ("" for a plain file): one recording in each of the muxer's shapes. Each
// H.264 picture may carry `fillerBytes` more of filler data (a unit decoders pass over): the
// weight of a larger picture at the cost of a small one's encoding.
bool remuxTestFile(const std::string& source, const std::string& path, const std::string& movflags, std::string* why,
                   int fillerBytes = 0);

// A camera's fragmented upload without an index of its fragments (a fragment at each key frame,
// one every 10 frames), of `frames` pictures of width x height, as "fragmented.mp4" in `folder`:
// its path; empty, with the reason in *why, when it cannot be made.
std::string writeFragmentedUpload(const std::string& folder, int frames, int width, int height, std::string* why);

struct SequentialDecode {
  std::vector<double> times;  // presentation times, ascending
  std::vector<ImagePtr> pictures;
  double movieDuration = 0;  // the container's own length of the movie
};

// The whole of a file the test wrote (empty when it cannot be read).
std::string readFile(const std::string& path);

// The top-level boxes of an MP4 file's bytes, in order: where each starts, its type and size
// (up to the first that does not fit).
struct TopLevelBox {
  size_t at = 0;
  std::string type;
  size_t size = 0;
};
std::vector<TopLevelBox> topLevelBoxes(const std::string& bytes);

// A fragmented file's bytes with no sample flagged as a key frame: each track run's first sample
// marked as the others are. The number of runs changed (0 when a run has no flags of its own
// for its first sample).
int clearKeyFlags(std::string& fragmented);

// `bytes` (the file at `path`) with the content of every sample from `firstSample` on, past its
// first bytes (length and unit header), replaced by noise: the same size and layout, other
// pictures that no longer decode cleanly.
void scrambleSamples(std::string& bytes, const std::string& path, size_t firstSample, size_t count = SIZE_MAX);

// Where each packet of the file lies, in the order the demuxer gives them.
struct SampleSpan {
  int64_t pos = -1;
  int size = 0;
  bool key = false;
  double time = 0;  // presentation time
  bool disposable = false;  // an H.264 slice nothing refers to (a B-frame that is no reference)
};
std::vector<SampleSpan> samplesOf(const std::string& path);

// Overwrites `count` bytes of `bytes` from `offset` with noise.
void addNoise(std::string& bytes, int64_t offset, int64_t count);

// Every picture of the file's video, read and decoded front to back.
SequentialDecode decodeSequentially(const std::string& path);

}  // namespace dk::platform::test
