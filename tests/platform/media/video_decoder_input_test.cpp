// What the decoder agrees to open: MPEG-4 files, and nothing they or their bytes point at.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <fstream>

#include "platform/media/video_decoder.h"
#include "support/temp_directory.h"
#include "test_videos.h"

namespace dk::platform::test {
namespace {

// Counts the opens of one file from the moment it is made.
class OpenWatch {
 public:
  explicit OpenWatch(const std::string& path) : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    if (fd_ >= 0) watch_ = inotify_add_watch(fd_, path.c_str(), IN_OPEN);
  }
  ~OpenWatch() {
    if (fd_ >= 0) close(fd_);
  }
  bool watching() const { return fd_ >= 0 && watch_ >= 0; }
  int opens() const {
    alignas(inotify_event) char buffer[4096];
    int count = 0;
    for (;;) {
      const ssize_t n = read(fd_, buffer, sizeof buffer);
      if (n <= 0) return count;
      for (ssize_t at = 0; at < n;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        if (event->mask & IN_OPEN) ++count;
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      }
    }
  }

 private:
  int fd_ = -1;
  int watch_ = -1;
};

TEST(VideoDecoderInputTest, APlaylistServedAsARecordingIsRefusedAndWhatItNamesIsNeverOpened) {
  dk::test::TemporaryDirectory folder;
  const std::string secret = (folder.path() / "secret.mp4").string();
  std::string why;
  TestVideoOptions options;
  options.frames = 4;
  ASSERT_TRUE(writeTestVideo(secret, options, &why)) << why;
  const std::string recording = (folder.path() / "5001.mp4").string();
  std::ofstream(recording) << "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:1\n"
                              "#EXTINF:1.0,\n" << secret << "\n#EXT-X-ENDLIST\n";
  OpenWatch watch(secret);
  ASSERT_TRUE(watch.watching());

  VideoDecoder decoder;
  EXPECT_FALSE(decoder.open(recording, &why));
  EXPECT_EQ(decoder.frameCount(), 0u);
  EXPECT_EQ(watch.opens(), 0);

  // The same named file opened as itself is a good recording: the refusal is about the playlist.
  EXPECT_TRUE(decoder.open(secret, &why)) << why;
  EXPECT_EQ(decoder.frameCount(), 4u);
  EXPECT_GE(watch.opens(), 1);
}

}  // namespace
}  // namespace dk::platform::test
