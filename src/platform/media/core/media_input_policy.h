// What each kind of media input may make FFmpeg open: the one demuxer it is forced to, the
// demuxers, protocols and decoders it may use. Everything that opens media (the video decoder,
// the clip check, the live segment decoder) opens it through openMediaInput with one of these, so
// a file that claims to be something else (a playlist naming local files, say) is refused instead
// of being followed. A new kind of input adds its own line here.
//
// Constants and pure functions; thread-safe.
#pragma once

struct AVCodec;
struct AVFormatContext;

namespace dk::platform {

struct MediaInputPolicy {
  const char* demuxer;            // forced; never probed from the bytes
  const char* formatWhitelist;    // demuxers FFmpeg may use (nested ones included)
  const char* protocolWhitelist;  // protocols FFmpeg may open ("none" names none)
  const char* decoders;           // decoders that may decode it; nullptr: whichever FFmpeg has for it
};

// Recordings and clips: MPEG-4 files on disk, nothing they reference. Downloaded clips are
// checked under it before they are kept.
inline constexpr MediaInputPolicy kRecordingInputPolicy{"mov", "mov,mp4,m4a,3gp,3g2,mj2", "file", nullptr};

// Recordings read piecewise over the network through our own reader: the same demuxers, and no
// protocol at all, so nothing in the bytes can make FFmpeg open a file or a connection of its own.
inline constexpr MediaInputPolicy kStreamedRecordingInputPolicy{"mov", "mov,mp4,m4a,3gp,3g2,mj2", "none", nullptr};

// Live segments: fetched by our own HTTP layer (so the bearer token and the bounds stay ours) and
// handed over as bytes in memory; only MPEG-TS carrying a camera's video (H.264, HEVC, or MPEG-4
// part 2) and a camera's sound (kCameraSoundDecoders).
inline constexpr MediaInputPolicy kLiveSegmentInputPolicy{"mpegts", "mpegts", "none",
                                                          "h264,hevc,mpeg4,aac,pcm_alaw,pcm_mulaw,opus"};

// The sound a camera records, and the only sound decoders used, live or recorded: AAC, G.711
// (A-law and µ-law) and Opus. FFmpeg's decoders for these are small and much fuzzed; anything
// else a file carries is not heard.
inline constexpr const char* kCameraSoundDecoders = "aac,pcm_alaw,pcm_mulaw,opus";

// Live fMP4 (CMAF) fragments, read after their stream's initialisation section: the MPEG-4
// demuxer, and the same decoders as MPEG-TS segments.
inline constexpr MediaInputPolicy kLiveFragmentInputPolicy{"mov", "mov,mp4,m4a,3gp,3g2,mj2", "none",
                                                           kLiveSegmentInputPolicy.decoders};

// avformat_open_input under `policy`: the demuxer forced, the demuxers, protocols and decoders it
// may reach limited, no samples taken from other files. `*format` is null, or allocated by the
// caller with its own reader set; a failed open frees it. `options` ("key=value:...") tune the
// demuxer; they cannot widen the policy. False when it does not open.
bool openMediaInput(AVFormatContext** format, const char* url, const MediaInputPolicy& policy,
                    const char* options = nullptr);

// Whether `policy` lets the decoder named `decoderName` decode what it opened.
bool allowsDecoder(const MediaInputPolicy& policy, const char* decoderName);

// The decoder for a sound stream of codec `codecId` (an AVCodecID) when it is one of
// kCameraSoundDecoders that `policy` allows; null otherwise.
const AVCodec* cameraSoundDecoder(int codecId, const MediaInputPolicy& policy);

}  // namespace dk::platform
