// What the decoder agrees to open: MPEG-4 files, and nothing they or their bytes point at; and
// how much of a video read through an Input it reads to open it and to show a frame.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "platform/graphics/image_compare.h"
#include "platform/media/recordings/mp4_check.h"
#include "platform/media/recordings/video_decoder.h"
#include "support/temp_directory.h"
#include "test_camera_streams.h"
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

// An Input over bytes in memory that counts what is read.
struct CountingInput {
  explicit CountingInput(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  VideoDecoder::Input input() {
    VideoDecoder::Input in;
    in.read = [data = bytes, read = read, reads = reads](int64_t offset, uint8_t* out, int64_t count) -> int64_t {
      const auto size = static_cast<int64_t>(data->size());
      if (offset >= size) return 0;
      const int64_t n = std::min(count, size - offset);
      std::memcpy(out, data->data() + offset, static_cast<size_t>(n));
      *read += n;
      reads->push_back({offset, offset + n});
      return n;
    };
    in.size = [data = bytes] { return static_cast<int64_t>(data->size()); };
    return in;
  }
  int64_t size() const { return static_cast<int64_t>(bytes->size()); }
  // Whether any byte in [from, to) has been read.
  bool readWithin(int64_t from, int64_t to) const {
    return std::any_of(reads->begin(), reads->end(), [&](const auto& r) { return r.first < to && r.second > from; });
  }

  std::shared_ptr<std::string> bytes = std::make_shared<std::string>();
  std::shared_ptr<int64_t> read = std::make_shared<int64_t>(0);
  std::shared_ptr<std::vector<std::pair<int64_t, int64_t>>> reads =
      std::make_shared<std::vector<std::pair<int64_t, int64_t>>>();
};


// The movie box of the one-track file `file` made to list `count` samples of `sampleBytes` each,
// one after the other in one chunk (its offset 0 until setChunkOffset), each a key frame shown
// for a thirtieth of a second; no edit list. Empty when the file is not as expected.
std::string rebuilt(const std::string& file, size_t from, size_t to, uint32_t count, uint32_t sampleBytes,
                    uint32_t timescale) {
  std::string out;
  for (size_t at = from; at + 8 <= to;) {
    const uint32_t size = bigEndian32At(file, at);
    if (size < 8 || at + size > to) return {};
    const std::string type = file.substr(at + 4, 4);
    if (type == "moov" || type == "trak" || type == "mdia" || type == "minf") {
      const std::string inner = rebuilt(file, at + 8, at + size, count, sampleBytes, timescale);
      if (inner.empty()) return {};
      out += mp4Box(type.c_str(), inner);
    } else if (type == "stbl") {
      std::string inner;
      for (size_t in = at + 8; in + 8 <= at + size;) {
        const uint32_t innerSize = bigEndian32At(file, in);
        if (innerSize < 8) return {};
        if (file.compare(in + 4, 4, "stsd") == 0) inner += file.substr(in, innerSize);
        in += innerSize;
      }
      inner += mp4Box("stts", bigEndian32(0) + bigEndian32(1) + bigEndian32(count) + bigEndian32(timescale / 30));
      inner += mp4Box("stsc", bigEndian32(0) + bigEndian32(1) + bigEndian32(1) + bigEndian32(count) + bigEndian32(1));
      inner += mp4Box("stsz", bigEndian32(0) + bigEndian32(sampleBytes) + bigEndian32(count));
      inner += mp4Box("stco", bigEndian32(0) + bigEndian32(1) + bigEndian32(0));
      out += mp4Box("stbl", inner);
    } else if (type != "edts") {
      out += file.substr(at, size);
    }
    at += size;
  }
  return out;
}

uint32_t mediaTimescale(const std::string& file) {
  const size_t mdhd = file.find("mdhd");
  if (mdhd == std::string::npos) return 0;
  return bigEndian32At(file, mdhd + 4 + (file[mdhd + 4] == 1 ? 20 : 12));
}

std::string longMovie(const std::string& file, uint32_t count, uint32_t sampleBytes) {
  const size_t moov = file.find("moov");
  const uint32_t timescale = mediaTimescale(file);
  if (moov == std::string::npos || timescale % 30 != 0) return {};
  return rebuilt(file, moov - 4, moov - 4 + bigEndian32At(file, moov - 4), count, sampleBytes, timescale);
}

void setChunkOffset(std::string& bytes, uint32_t offset) {
  const size_t stco = bytes.find("stco");
  if (stco != std::string::npos) bytes.replace(stco + 12, 4, bigEndian32(offset));
}

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

  // The same playlist arriving through an Input (as a recording from the network) is refused
  // alike, and names no file that gets opened.
  CountingInput served(recording);
  const int before = watch.opens();
  EXPECT_FALSE(decoder.open(served.input(), &why));
  EXPECT_EQ(decoder.frameCount(), 0u);
  EXPECT_EQ(watch.opens(), before);
}

TEST(VideoDecoderInputTest, AVideoReadThroughAnInputIsReadOnlyAsFarAsItsFramesAreShown) {
  dk::test::TemporaryDirectory folder;
  const std::string path = (folder.path() / "long.mp4").string();
  TestVideoOptions options;
  options.width = 320;
  options.height = 240;
  options.fps = 25;
  options.frames = 400;  // 16 s
  options.gop = 25;
  std::string why;
  ASSERT_TRUE(writeTestVideo(path, options, &why)) << why;
  CountingInput source(path);
  ASSERT_GT(source.size(), 400 * 1000) << "large enough to tell a part from the whole";

  VideoDecoder decoder;
  ASSERT_TRUE(decoder.open(source.input(), &why)) << why;
  EXPECT_EQ(decoder.frameCount(), 400u);
  EXPECT_NEAR(decoder.duration(), 16.0, 1e-9);
  // Pictures lie in the file in time order: its middle holds (roughly) the middle of the video.
  const int64_t size = source.size();
  EXPECT_FALSE(source.readWithin(size / 4, size * 3 / 4)) << "opening reads the header and the start";

  // A frame past the middle reads its own group of pictures, not what lies before it.
  ASSERT_NE(decoder.frameAt(decoder.frameIndexAt(8.2)), nullptr);
  EXPECT_FALSE(source.readWithin(size / 5, size * 35 / 100));
  EXPECT_TRUE(source.readWithin(size * 45 / 100, size * 55 / 100));
  // Playing on from there reads on from there, and no more.
  for (double t = 8.24; t < 9.0; t += 0.04) ASSERT_NE(decoder.frameAt(decoder.frameIndexAt(t)), nullptr);
  EXPECT_FALSE(source.readWithin(size / 5, size * 35 / 100));
  EXPECT_LT(*source.read, size * 6 / 10);
}

// A camera's recording (pictures and sound) opened over the network to be sought into: opening
// reads its movie box and its first picture, not on to the sound and the pictures after it, which
// FFmpeg would read and decode to learn what the movie box already says.
TEST(VideoDecoderInputTest, OpeningReadsTheIndexAndTheFirstPictureOnly) {
  for (const char* encoder : {"libx264", "libx265"}) {
    SCOPED_TRACE(encoder);
    dk::test::TemporaryDirectory folder;
    CameraStreamOptions options;
    options.videoEncoder = encoder;
    options.width = 1920;  // pictures larger than what the demuxer reads at a time
    options.height = 1080;
    options.seconds = 1;
    options.container = "mp4";
    std::string why;
    const std::vector<std::string> files = writeCameraStream(folder.path().string(), options, &why);
    ASSERT_EQ(files.size(), 1u) << why;
    const std::string path = (folder.path() / "camera.mp4").string();
    std::ofstream(path, std::ios::binary) << files.front();
    const std::vector<SampleSpan> spans = samplesOf(path);
    ASSERT_GE(spans.size(), 3u);
    // What reading the first picture reads: it, or the demuxer's first read if that is more.
    constexpr int64_t kReaderBuffer = 64 * 1024;
    const int64_t firstRead = std::max(spans.front().pos + spans.front().size, spans.front().pos + kReaderBuffer);
    // Where the next packet past that read starts (a picture or the sound).
    int64_t next = INT64_MAX;
    for (const SampleSpan& s : spans) {
      if (s.pos >= firstRead) next = std::min(next, s.pos);
    }
    ASSERT_LT(next, INT64_MAX);
    CountingInput source(path);
    VideoDecoder decoder;
    ASSERT_TRUE(decoder.open(source.input(), &why)) << why;
    EXPECT_FALSE(source.readWithin(firstRead, next + 1));
    ASSERT_TRUE(decoder.frameAt(0));
  }
}

// An MP4 whose track's data reference points at another file (a classic alias record naming
// "secret.mp4" one level from the movie, in its own folder): with external references followed,
// the demuxer would open that file and read its samples from it.
std::string withExternalReference(const std::string& movie, const std::string& target) {
  auto put16 = [](std::string& b, uint16_t v) {
    b.push_back(static_cast<char>(v >> 8));
    b.push_back(static_cast<char>(v & 0xff));
  };
  std::string alias(10, '\0');
  alias.push_back(3);
  alias += std::string("vol") + std::string(24, '\0');
  alias += std::string(12, '\0');
  alias.push_back(static_cast<char>(target.size()));
  alias += target + std::string(63 - target.size(), '\0');
  alias += std::string(16, '\0');
  put16(alias, 1);  // levels up from the movie
  put16(alias, 1);  // levels down to the target
  alias += std::string(16, '\0');
  const std::string path = "vol/" + target;
  put16(alias, 2);  // an absolute path
  put16(alias, static_cast<uint16_t>(path.size()));
  alias += path;
  if (path.size() % 2) alias.push_back('\0');
  put16(alias, 0xffff);
  put16(alias, 0);
  const uint32_t entrySize = static_cast<uint32_t>(12 + alias.size());
  std::string entry;
  put16(entry, static_cast<uint16_t>(entrySize >> 16));
  put16(entry, static_cast<uint16_t>(entrySize & 0xffff));
  entry += "alis";
  entry += std::string(4, '\0');  // version and flags: not in this file
  entry += alias;

  std::string bytes = movie;
  const size_t dref = bytes.find("dref");
  if (dref == std::string::npos || bytes.compare(dref + 16, 4, "url ") != 0) return {};
  bytes.replace(dref + 12, 12, entry);
  const uint32_t grown = entrySize - 12;
  auto grow = [&](size_t typeAt) {
    const size_t at = typeAt - 4;
    uint32_t size = 0;
    for (int i = 0; i < 4; ++i) size = (size << 8) | static_cast<uint8_t>(bytes[at + static_cast<size_t>(i)]);
    size += grown;
    for (int i = 0; i < 4; ++i) bytes[at + static_cast<size_t>(i)] = static_cast<char>((size >> (24 - 8 * i)) & 0xff);
  };
  grow(dref);
  for (const char* parent : {"dinf", "minf", "mdia", "trak", "moov"}) {
    const size_t at = bytes.rfind(parent, dref);
    if (at == std::string::npos) return {};
    grow(at);
  }
  return bytes;
}

// External data references are never followed, whoever opens the movie: the file they name is
// not even opened.
TEST(VideoDecoderInputTest, AMovieReferringToAnotherFileNeverOpensIt) {
  dk::test::TemporaryDirectory folder;
  std::string why;
  TestVideoOptions options;
  options.frames = 4;
  const std::string secret = (folder.path() / "secret.mp4").string();
  const std::string movie = (folder.path() / "movie.mp4").string();
  ASSERT_TRUE(writeTestVideo(secret, options, &why)) << why;
  ASSERT_TRUE(writeTestVideo(movie, options, &why)) << why;
  std::ifstream in(movie, std::ios::binary);
  const std::string referring = withExternalReference(
      std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), "secret.mp4");
  ASSERT_FALSE(referring.empty());
  const std::string path = (folder.path() / "referring.mp4").string();
  std::ofstream(path, std::ios::binary) << referring;
  OpenWatch watch(secret);
  ASSERT_TRUE(watch.watching());

  VideoDecoder decoder;
  if (decoder.open(path, &why)) decoder.frameAt(0);
  EXPECT_EQ(watch.opens(), 0) << "the decoder";
  checkCompleteMp4Video(path);
  EXPECT_EQ(watch.opens(), 0) << "the clip check";
  CountingInput served(path);
  if (decoder.open(served.input(), &why)) decoder.frameAt(0);
  EXPECT_EQ(watch.opens(), 0) << "the decoder over an Input";
}

// The recording replaced on the cloud between two range reads, the same size and layout with
// other pictures in it: from the fourth read on, every sample's content past its first bytes
// (length and unit header) is other bytes. A picture that does not decode cleanly is refused,
// never shown as the decoder's concealment of it (a grey picture); the same video read whole
// shows every frame.
TEST(VideoDecoderInputTest, BytesThatChangeBetweenReadsFailTheFrameInsteadOfShowingAConcealedPicture) {
  for (const char* encoder : {"libx264", "mpeg4"}) {
    SCOPED_TRACE(encoder);
    dk::test::TemporaryDirectory folder;
    const std::string path = (folder.path() / "video.mp4").string();
    TestVideoOptions options;
    options.encoder = encoder;
    options.width = 320;
    options.height = 240;
    options.fps = 25;
    options.frames = 100;
    options.gop = 25;
    options.bFrames = std::string(encoder) == "mpeg4" ? 0 : 2;
    std::string why;
    ASSERT_TRUE(writeTestVideo(path, options, &why)) << why;
    const SequentialDecode reference = decodeSequentially(path);
    ASSERT_EQ(reference.pictures.size(), 100u);
    CountingInput original(path);
    auto changed = std::make_shared<std::string>(*original.bytes);
    scrambleSamples(*changed, path, 0);

    for (const bool changes : {false, true}) {
      SCOPED_TRACE(changes ? "bytes change" : "bytes stay");
      VideoDecoder::Input input;
      input.read = [before = original.bytes, after = changed, changes, reads = std::make_shared<int>(0)](
                       int64_t offset, uint8_t* out, int64_t count) -> int64_t {
        const std::string& bytes = changes && ++*reads > 3 ? *after : *before;
        const auto size = static_cast<int64_t>(bytes.size());
        if (offset >= size) return 0;
        const int64_t n = std::min(count, size - offset);
        std::memcpy(out, bytes.data() + offset, static_cast<size_t>(n));
        return n;
      };
      input.size = [size = original.size()] { return size; };
      VideoDecoder decoder;
      ASSERT_TRUE(decoder.open(std::move(input), &why)) << why;
      ASSERT_EQ(decoder.frameCount(), 100u);
      size_t refused = 0;
      std::vector<size_t> wrong;
      for (size_t i = 0; i < decoder.frameCount(); ++i) {
        ImagePtr picture = decoder.frameAt(i);
        if (!picture) {
          EXPECT_TRUE(decoder.lastFrameDamaged()) << "frame " << i;
          ++refused;
        } else if (compareImages(*picture, *reference.pictures[i]).maxAbsolute != 0) {
          wrong.push_back(i);
        }
      }
      EXPECT_TRUE(wrong.empty()) << wrong.size() << " frames shown unlike the video, the first " << wrong.front();
      if (changes) {
        EXPECT_GT(refused, 0u);
      } else {
        EXPECT_EQ(refused, 0u);
      }
    }
  }
}


// A fragmented recording whose samples are none flagged as key frames (each track run's first
// sample marked as the others are), with its third fragment before the second (each fragment
// takes its place in the table by its own times) or cut short inside its media (its header still
// lists its frames). Every frame is looked up within the table and
// shows its own picture or none (the library's own checks, on in the sanitizer builds, catch a
// lookup in an empty list of key frames).
TEST(VideoDecoderInputTest, AFragmentedRecordingWithoutKeyFlagsAndABrokenFragmentIsLookedUpWithinItsTable) {
  dk::test::TemporaryDirectory folder;
  std::string why;
  const std::string path = writeFragmentedUpload(folder.path().string(), 40, 96, 64, &why);
  ASSERT_FALSE(path.empty()) << why;
  const SequentialDecode reference = decodeSequentially(path);
  ASSERT_EQ(reference.pictures.size(), 40u);
  std::string unflagged = readFile(path);
  ASSERT_EQ(clearKeyFlags(unflagged), 4) << "a fragment a key frame";
  std::vector<size_t> moofs;
  for (const TopLevelBox& box : topLevelBoxes(unflagged)) {
    if (box.type == "moof") moofs.push_back(box.at);
  }
  ASSERT_EQ(moofs.size(), 4u);

  struct Case {
    const char* what;
    std::string bytes;
    std::vector<size_t> frames;  // the reference's frames the table keeps
  };
  std::string swapped = unflagged.substr(0, moofs[1]) + unflagged.substr(moofs[2], moofs[3] - moofs[2]) +
                        unflagged.substr(moofs[1], moofs[2] - moofs[1]) + unflagged.substr(moofs[3]);
  std::vector<size_t> all;
  for (size_t i = 0; i < 40; ++i) all.push_back(i);
  std::vector<size_t> firstThree;
  for (size_t i = 0; i < 30; ++i) firstThree.push_back(i);
  const std::vector<Case> cases = {
      {"the third fragment before the second", swapped, all},
      {"cut short inside the third fragment's media", unflagged.substr(0, (moofs[2] + moofs[3]) / 2), firstThree},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CountingInput source(path);
    *source.bytes = c.bytes;
    VideoDecoder decoder;
    ASSERT_TRUE(decoder.open(source.input(), &why)) << why;
    for (int tries = 0; tries < 8 && !decoder.complete(); ++tries) decoder.extendTo(std::numeric_limits<double>::infinity());
    ASSERT_TRUE(decoder.complete());
    ASSERT_EQ(decoder.frameCount(), c.frames.size());
    for (size_t i = 0; i < decoder.frameCount(); ++i) {
      SCOPED_TRACE(i);
      EXPECT_NEAR(decoder.frameTimes()[i], reference.times[c.frames[i]] - reference.times.front(), 1e-9);
      // The demuxer finds no key frame to start from: no picture, and none of another frame.
      const ImagePtr picture = decoder.frameAt(i);
      if (picture) {
        EXPECT_EQ(compareImages(*picture, *reference.pictures[c.frames[i]]).maxAbsolute, 0);
      }
    }
  }
}


// A recording's one fragment whose track run claims millions of samples in a few bytes (no
// per-sample fields: each takes the track's defaults): refused at open, without a frame table
// millions long (three million: over what a recording holds), and without the demuxer taking
// gigabytes for its own index of them (84 million: two gigabytes at once).
TEST(VideoDecoderInputTest, ATrackRunClaimingMillionsOfSamplesIsRefusedAtOpen) {
  dk::test::TemporaryDirectory folder;
  std::string why;
  const std::string path = writeFragmentedUpload(folder.path().string(), 40, 96, 64, &why);
  ASSERT_FALSE(path.empty()) << why;
  for (const uint32_t claimed : {3'000'000u, 84'000'000u}) {
    SCOPED_TRACE(claimed);
    CountingInput source(path);
    std::string& bytes = *source.bytes;
    for (const TopLevelBox& box : topLevelBoxes(bytes)) {
      if (box.type == "mdat") {  // the first fragment alone
        bytes.resize(box.at + box.size);
        break;
      }
    }
    const size_t trun = bytes.find("trun");
    ASSERT_NE(trun, std::string::npos);
    std::string run(8, '\0');  // version and flags: no per-sample fields; then the count
    for (int i = 0; i < 4; ++i) run[4 + static_cast<size_t>(i)] = static_cast<char>(claimed >> (24 - 8 * i));
    bytes.replace(trun + 4, 8, run);
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    VideoDecoder decoder;
    EXPECT_FALSE(decoder.open(source.input(), &why));
    EXPECT_FALSE(why.empty());
    EXPECT_EQ(decoder.frameCount(), 0u);
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 1L << 20) << "the open took a gigabyte (in KiB)";
  }
}

// Over the network a fragmented recording's table starts with its first fragment, but its whole
// length is known at open wherever the file's index of fragments says where its last one is,
// whatever each fragment holds; and a first fragment without a picture is no end of the file.
// Each read through an Input as it is by path, the same frames at the same times.
TEST(VideoDecoderInputTest, AFragmentedRecordingsWholeLengthIsKnownAtOpenWhateverItsFragmentsHold) {
  dk::test::TemporaryDirectory folder;
  struct Case {
    const char* what;
    const char* movflags;
    bool emptyFirstRun;  // the first fragment's track run lists no sample
    bool indexed;
  };
  const std::vector<Case> cases = {
      {"a fragment a frame, an index at the end", "frag_every_frame+empty_moov+default_base_moof", false, true},
      {"a first fragment without pictures, an index at the end", "frag_keyframe+empty_moov+default_base_moof", true,
       true},
      {"a first fragment without pictures, no index", "frag_keyframe+empty_moov+default_base_moof+skip_trailer", true,
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TestVideoOptions options;
    options.width = 64;
    options.height = 48;
    options.fps = 10;
    options.gop = 10;
    options.bFrames = 2;
    options.frames = 600;
    options.movflags = c.movflags;
    const std::string path = (folder.path() / "recording.mp4").string();
    std::string why;
    ASSERT_TRUE(writeTestVideo(path, options, &why)) << why;
    if (c.emptyFirstRun) {
      std::string bytes = readFile(path);
      const size_t trun = bytes.find("trun");
      ASSERT_NE(trun, std::string::npos);
      bytes.replace(trun + 8, 4, std::string(4, '\0'));  // its sample count
      std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    }
    VideoDecoder whole;
    ASSERT_TRUE(whole.open(path, &why)) << why;
    ASSERT_GT(whole.frameCount(), 500u);

    CountingInput served(path);
    VideoDecoder decoder;
    ASSERT_TRUE(decoder.open(served.input(), &why)) << why;
    EXPECT_FALSE(decoder.complete()) << "the first fragment is not the whole recording";
    ASSERT_GE(decoder.frameCount(), 1u);
    EXPECT_DOUBLE_EQ(decoder.frameTimes()[0], whole.frameTimes()[0]);
    if (c.indexed) {
      EXPECT_DOUBLE_EQ(decoder.duration(), whole.duration()) << "the length at open";
    }
    decoder.extendTo(std::numeric_limits<double>::infinity());
    EXPECT_TRUE(decoder.complete());
    EXPECT_EQ(decoder.frameTimes(), whole.frameTimes());
    EXPECT_DOUBLE_EQ(decoder.duration(), whole.duration());
  }
}

// A plain recording's index lists as many samples as its bytes can carry, however many that is
// (ten hours at 30 frames a second is over a million); an index claiming more than its file's
// bytes can hold is refused at open. The file is served from its index and one sample repeated,
// so that its gigabytes are never made.
TEST(VideoDecoderInputTest, APlainRecordingsIndexIsBoundByWhatItsBytesCanHold) {
  dk::test::TemporaryDirectory folder;
  const std::string path = (folder.path() / "picture.mp4").string();
  TestVideoOptions options;
  options.width = 32;
  options.height = 32;
  options.fps = 30;
  options.frames = 2;
  options.gop = 1;
  options.bFrames = 0;
  std::string why;
  ASSERT_TRUE(writeTestVideo(path, options, &why)) << why;
  const std::string small = readFile(path);
  const std::vector<SampleSpan> spans = samplesOf(path);
  ASSERT_EQ(spans.size(), 2u);
  ASSERT_TRUE(spans[1].key);
  // The second picture (a key frame without the encoder's notes), padded with a filler unit to a
  // size a camera's picture has.
  constexpr uint32_t kSampleBytes = 4096;
  std::string sample = small.substr(static_cast<size_t>(spans[1].pos), static_cast<size_t>(spans[1].size));
  ASSERT_LT(sample.size() + 6, kSampleBytes);
  const auto filler = static_cast<uint32_t>(kSampleBytes - sample.size() - 4);
  sample += bigEndian32(filler) + '\x0c' + std::string(filler - 2, '\xff') + '\x80';
  ASSERT_EQ(sample.size(), kSampleBytes);

  constexpr uint32_t kSamples = 1'080'000;  // ten hours at 30 frames a second
  const std::string movie = longMovie(small, kSamples, kSampleBytes);
  ASSERT_FALSE(movie.empty());
  const std::string head = small.substr(0, bigEndian32At(small, 0)) + movie;  // its file type box, the movie box
  std::string prefix = head + bigEndian32(1) + "mdat" + bigEndian64(16 + uint64_t{kSamples} * kSampleBytes);
  setChunkOffset(prefix, static_cast<uint32_t>(prefix.size()));
  struct Case {
    const char* what;
    uint64_t samplesInFile;
    bool opens;
  };
  const std::vector<Case> cases = {
      {"every sample in the file", kSamples, true},
      {"a file too short for one in a hundred", kSamples / 1000, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const uint64_t size = prefix.size() + c.samplesInFile * kSampleBytes;
    VideoDecoder::Input input;
    input.read = [&prefix, &sample, size](int64_t offset, uint8_t* out, int64_t count) -> int64_t {
      if (offset < 0) return -1;
      if (static_cast<uint64_t>(offset) >= size) return 0;
      int64_t n = std::min<int64_t>(count, static_cast<int64_t>(size) - offset);
      for (int64_t i = 0; i < n; ++i) {
        const auto at = static_cast<uint64_t>(offset + i);
        out[i] = static_cast<uint8_t>(at < prefix.size() ? prefix[at] : sample[(at - prefix.size()) % kSampleBytes]);
      }
      return n;
    };
    input.size = [size] { return static_cast<int64_t>(size); };
    VideoDecoder decoder;
    const bool opened = decoder.open(std::move(input), &why);
    ASSERT_EQ(opened, c.opens) << why;
    if (!opened) {
      EXPECT_EQ(decoder.frameCount(), 0u);
      continue;
    }
    ASSERT_EQ(decoder.frameCount(), kSamples);
    EXPECT_NEAR(decoder.duration(), kSamples / 30.0, 1e-6) << "ten hours";
    EXPECT_TRUE(decoder.frameAt(0));
    EXPECT_TRUE(decoder.frameAt(kSamples - 1)) << "the last picture, gigabytes in";
  }
}

// An upload cut inside its first fragment's media (in its first picture, or further on), the
// demuxer's index listing just the samples the table does: the table lists the fragment's frames
// as its run says (the rest of their bytes are on their way), and a picture is the whole file's
// or none. (A table cut by its lost samples left its frame and key lists past them, which the
// standard library's checks of the sanitizer builds catch.)
TEST(VideoDecoderInputTest, AFragmentedUploadCutShortKeepsTheFramesItsFragmentsList) {
  dk::test::TemporaryDirectory folder;
  std::string why;
  const std::string path = writeFragmentedUpload(folder.path().string(), 40, 96, 64, &why);
  ASSERT_FALSE(path.empty()) << why;
  CountingInput whole(path);
  VideoDecoder uncut;
  ASSERT_TRUE(uncut.open(whole.input(), &why)) << why;
  const std::vector<TopLevelBox> boxes = topLevelBoxes(*whole.bytes);
  const auto mdat = std::find_if(boxes.begin(), boxes.end(), [](const TopLevelBox& b) { return b.type == "moof"; });
  ASSERT_NE(mdat, boxes.end());
  ASSERT_LT(mdat + 1, boxes.end());
  ASSERT_EQ((mdat + 1)->type, "mdat");

  for (const size_t in : {size_t{12}, (mdat + 1)->size / 2}) {
    SCOPED_TRACE(in);
    CountingInput upload(path);
    upload.bytes->resize((mdat + 1)->at + in);
    VideoDecoder decoder;
    ASSERT_TRUE(decoder.open(upload.input(), &why)) << why;
    EXPECT_EQ(decoder.frameTimes(), uncut.frameTimes()) << "the frames the fragment lists";
    EXPECT_FALSE(decoder.complete());
    for (size_t i = 0; i < decoder.frameCount(); ++i) {
      if (const ImagePtr picture = decoder.frameAt(i)) {
        EXPECT_EQ(compareImages(*picture, *uncut.frameAt(i)).maxAbsolute, 0) << i;
      }
    }
    EXPECT_FALSE(decoder.frameAt(decoder.frameCount()));
  }

  // The fuzzer's upload of that shape (its movie box's tables empty, cut inside the first of its
  // fragment's two pictures): both listed, neither shown, and every look-up inside the table.
  CountingInput found(std::string(DK_TEST_DATA_DIR) + "/../fuzz/corpus/fragment_table/index_count_equals_table_size.mp4");
  ASSERT_EQ(found.size(), 1001);
  VideoDecoder decoder;
  ASSERT_TRUE(decoder.open(found.input(), &why)) << why;
  EXPECT_EQ(decoder.frameCount(), 2u);
  EXPECT_FALSE(decoder.complete());
  for (size_t i = 0; i <= decoder.frameCount(); ++i) EXPECT_FALSE(decoder.frameAt(i)) << i;
  EXPECT_EQ(decoder.frameIndexAt(decoder.duration()), decoder.frameCount() - 1);
}

}  // namespace
}  // namespace dk::platform::test
