// What FFmpeg may open on the live path, named in one place. Live segments are fetched by our own
// HTTP layer (so the bearer token and the bounds stay ours) and handed to libavformat as bytes in
// memory: no protocol is ever opened by FFmpeg, only the MPEG-TS demuxer reads them, and only the
// MPEG-4 part 2 video decoder decodes them.
#pragma once

namespace dk::platform::live_formats {

// libavformat input format names (comma-separated, as its whitelists take them).
inline constexpr const char* kDemuxers = "mpegts";
// libavformat protocols: none; the bytes arrive through a custom in-memory reader.
inline constexpr const char* kProtocols = "";
// libavcodec decoder names.
inline constexpr const char* kVideoDecoders = "mpeg4";

}  // namespace dk::platform::live_formats
