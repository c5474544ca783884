#include "test_hls.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "test_videos.h"

namespace dk::platform::test {
bool writeTestHls(const std::string& folder, const TestHlsOptions& o, TestHls* out, std::string* why) {
  const std::filesystem::path dir(folder);
  TestVideoOptions video;
  video.container = "hls";
  video.width = o.width;
  video.height = o.height;
  video.fps = o.fps;
  video.encoder = o.encoder;
  video.openGop = o.openGop;
  video.bFrames = o.bFrames;
  video.startSeconds = o.startSeconds;
  video.gop = o.fps * (o.keySeconds ? o.keySeconds : o.segmentSeconds);
  video.frames = o.fps * o.segmentSeconds * o.segments;
  video.interlaced = o.interlaced;
  const bool fragmented = o.segmentType == "fmp4";
  video.muxerOptions = {
      {"hls_time", std::to_string(o.segmentSeconds)},
      {"hls_list_size", "0"},
      {"hls_segment_type", o.segmentType},
  };
  // One file keeps the muxer's own name for it.
  if (o.flags.find("single_file") == std::string::npos) {
    video.muxerOptions.emplace_back("hls_segment_filename", (dir / (fragmented ? "index%d.m4s" : "index%d.ts")).string());
  }
  std::string flags = o.flags;
  if (o.programDateTime) flags += std::string(flags.empty() ? "" : "+") + "program_date_time";
  if (!flags.empty()) video.muxerOptions.emplace_back("hls_flags", flags);
  if (!writeTestVideo((dir / "index.m3u8").string(), video, why)) return false;

  out->playlist = readFile(dir / "index.m3u8");
  out->files.clear();
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name != "index.m3u8") out->files[name] = readFile(entry.path());
  }
  if (out->playlist.empty() || out->files.empty()) {
    *why = "nothing was written";
    return false;
  }
  return true;
}

}  // namespace dk::platform::test
