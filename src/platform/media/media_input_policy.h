// What each kind of media input may make FFmpeg open: the one demuxer it is forced to, the
// demuxers and the protocols it may use. Everything the player opens goes through one of these,
// so a file that claims to be something else (a playlist naming local files, say) is refused
// instead of being followed. A new kind of input adds its own line here.
//
// Plain constants; thread-safe.
#pragma once

namespace dk::platform {

struct MediaInputPolicy {
  const char* demuxer;            // forced; never probed from the bytes
  const char* formatWhitelist;    // demuxers FFmpeg may use (nested ones included)
  const char* protocolWhitelist;  // protocols FFmpeg may open
};

// Recordings and clips: MPEG-4 files on disk, nothing they reference.
inline constexpr MediaInputPolicy kRecordingInputPolicy{"mov", "mov,mp4,m4a,3gp,3g2,mj2", "file"};

// Recordings read piecewise over the network through our own reader: the same demuxers, and no
// protocol at all ("none" names none), so nothing in the bytes can make FFmpeg open a file or a
// connection of its own.
inline constexpr MediaInputPolicy kStreamedRecordingInputPolicy{"mov", "mov,mp4,m4a,3gp,3g2,mj2", "none"};

}  // namespace dk::platform
