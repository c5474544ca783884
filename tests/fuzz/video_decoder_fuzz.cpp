// Recordings through the player's decoder: any bytes saved where a downloaded clip would lie open
// or are refused without fault; an opened file's frame table is ascending and every lookup lands
// inside it, and a few frames (first, last, one in between, one past the end) decode or come back
// empty. The decoder opens only local files, so nothing a mutated file names is ever fetched.
// The sound decoder reads the same bytes: its track opens within a camera's bounds or is refused,
// and every read hands out exactly the samples asked for, wherever it lands.
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "private_folder.h"
#include "platform/media/recordings/audio_decoder.h"
#include "platform/media/recordings/video_decoder.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

const std::filesystem::path& privateFolder() {
  static const std::filesystem::path folder = fuzzPrivateFolder("video-fuzz");
  return folder;
}

// Writes the input as the folder's one recording, readable by this user only.
std::string writeRecording(const uint8_t* data, size_t size) {
  const std::string path = (privateFolder() / "recording.mp4").string();
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
  check(fd >= 0);
  for (size_t done = 0; done < size;) {
    const ssize_t n = ::write(fd, data + done, size - done);
    check(n > 0);
    done += static_cast<size_t>(n);
  }
  ::close(fd);
  return path;
}

// A decoded frame is opaque and as large as the stream says.
void checkImage(const dk::platform::ImagePtr& image, const dk::platform::VideoDecoder& decoder) {
  if (!image) return;
  check(image->isOpaque());
  check(image->pixelWidth() == decoder.width() && image->pixelHeight() == decoder.height());
}

void checkSound(const std::string& path) {
  using dk::platform::AudioDecoder;
  AudioDecoder sound;
  std::string why;
  if (!sound.open(path, &why)) {
    check(!why.empty() && !sound.isOpen());
    return;
  }
  const AudioDecoder::Format format = sound.format();
  check(format.sampleRate >= AudioDecoder::kMinSampleRate && format.sampleRate <= AudioDecoder::kMaxSampleRate);
  check(format.channels >= 1 && format.channels <= AudioDecoder::kMaxChannels);
  std::vector<int16_t> out;
  for (double at : {0.0, 0.05, 3.0, 0.5, -2.0, 1e9}) {
    sound.read(at, 2000, &out);
    check(out.size() == 2000u * static_cast<size_t>(format.channels));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using dk::platform::VideoDecoder;
  const std::string path = writeRecording(data, size);
  checkSound(path);
  VideoDecoder decoder;
  std::string why;
  if (!decoder.open(path, &why)) {
    check(!why.empty());
    return 0;
  }
  const auto& times = decoder.frameTimes();
  for (size_t i = 1; i < times.size(); ++i) check(times[i - 1] <= times[i]);
  for (double t : times) check(std::isfinite(t));
  const size_t count = decoder.frameCount();
  if (count > 0) {
    check(decoder.frameIndexAt(times.front()) < count);
    check(decoder.frameIndexAt(times.back()) == count - 1);
    check(decoder.frameIndexAt(-1e9) < count);
    check(decoder.frameIndexAt(1e9) < count);
    checkImage(decoder.frameAt(0), decoder);
    checkImage(decoder.frameAt(count - 1), decoder);
    checkImage(decoder.frameAt(count / 2), decoder);
  }
  check(decoder.frameAt(count) == nullptr);
  return 0;
}
