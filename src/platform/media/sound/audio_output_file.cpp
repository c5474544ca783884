#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <vector>

#include "platform/media/sound/audio_output.h"

namespace dk::platform {
namespace {

constexpr int kHeaderBytes = 44;

void put32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}
void put16(uint8_t* at, uint16_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}

bool writeAll(int fd, const void* data, size_t size, off_t offset) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  while (size > 0) {
    const ssize_t n = ::pwrite(fd, bytes, size, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    size -= static_cast<size_t>(n);
    offset += n;
  }
  return true;
}

}  // namespace

struct FileAudioOutput::Impl {
  mutable std::mutex mutex;
  std::string path;
  int fd = -1;
  int rate = 0;
  int channels = 0;
  int64_t frames = 0;
  // A WAV file's sizes are 32-bit; a file stops growing well before that.
  int64_t maxDataBytes = kMaxDataBytes;
  bool failed = false;

  ~Impl() {
    if (fd >= 0) ::close(fd);
  }

  int64_t dataBytes() const { return frames * channels * 2; }

  bool writeHeader() {
    uint8_t h[kHeaderBytes] = {};
    std::memcpy(h, "RIFF", 4);
    put32(h + 4, static_cast<uint32_t>(36 + dataBytes()));
    std::memcpy(h + 8, "WAVEfmt ", 8);
    put32(h + 16, 16);
    put16(h + 20, 1);  // PCM
    put16(h + 22, static_cast<uint16_t>(channels));
    put32(h + 24, static_cast<uint32_t>(rate));
    put32(h + 28, static_cast<uint32_t>(rate * channels * 2));
    put16(h + 32, static_cast<uint16_t>(channels * 2));
    put16(h + 34, 16);
    std::memcpy(h + 36, "data", 4);
    put32(h + 40, static_cast<uint32_t>(dataBytes()));
    return writeAll(fd, h, sizeof h, 0);
  }
};

std::shared_ptr<FileAudioOutput> FileAudioOutput::create(const std::string& path, std::string* error,
                                                         int64_t maxDataBytes) {
  auto impl = std::make_unique<Impl>();
  impl->path = path;
  impl->maxDataBytes = std::clamp<int64_t>(maxDataBytes, 0, kMaxDataBytes);
  // Made anew: an old file is replaced, but a link planted at the path is not followed.
  ::unlink(path.c_str());
  impl->fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (impl->fd < 0) {
    if (error) *error = "cannot make " + path + ": " + std::strerror(errno);
    return nullptr;
  }
  return std::shared_ptr<FileAudioOutput>(new FileAudioOutput(std::move(impl)));
}

FileAudioOutput::FileAudioOutput(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
FileAudioOutput::~FileAudioOutput() = default;

bool FileAudioOutput::configure(int sampleRate, int channels) {
  std::lock_guard lock(impl_->mutex);
  Impl& d = *impl_;
  if (d.rate != 0) return d.rate == sampleRate && d.channels == channels;
  if (sampleRate <= 0 || channels <= 0 || channels > 8) return false;
  d.rate = sampleRate;
  d.channels = channels;
  d.failed = !d.writeHeader();
  return !d.failed;
}

void FileAudioOutput::write(const int16_t* samples, int64_t frames) {
  std::lock_guard lock(impl_->mutex);
  Impl& d = *impl_;
  // A count beyond the cap is refused before its byte count could overflow.
  if (d.failed || d.rate == 0 || frames <= 0 || frames > d.maxDataBytes) return;
  const int64_t bytes = frames * d.channels * 2;
  if (d.dataBytes() + bytes > d.maxDataBytes) return;  // full: the rest is not kept
  // WAV is little-endian, as is every host this runs on.
  if (!writeAll(d.fd, samples, static_cast<size_t>(bytes), static_cast<off_t>(kHeaderBytes + d.dataBytes()))) {
    d.failed = true;
    return;
  }
  d.frames += frames;
  d.failed = !d.writeHeader();
}

std::string FileAudioOutput::description() const { return "WAV file " + impl_->path; }

int64_t FileAudioOutput::framesWritten() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->frames;
}
int FileAudioOutput::sampleRate() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->rate;
}
int FileAudioOutput::channels() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->channels;
}
const std::string& FileAudioOutput::path() const { return impl_->path; }

AudioOutputPtr makeDefaultAudioOutput(std::string* why) {
  if (const char* file = std::getenv("DK_AUDIO_FILE"); file && *file) return FileAudioOutput::create(file, why);
  std::error_code ec;
  if (!std::filesystem::is_directory("/dev/snd", ec) || std::filesystem::is_empty("/dev/snd", ec)) {
    if (why) *why = "no sound device";
    return nullptr;
  }
  return makeDeviceAudioOutput("default", why);
}

}  // namespace dk::platform
