// A recording with a damaged stretch, made as cameras upload it: each sign of damage the decoder
// watches for (a picture it marks as broken, a packet it refuses, a picture of another size)
// keeps every damaged frame from being shown, and decoding goes on from the next key frame
// without decoding the damaged stretch again for each of its frames. A recording cut short
// ends at its last whole frame.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "platform/graphics/image_compare.h"
#include "platform/media/recordings/video_decoder.h"
#include "support/temp_directory.h"
#include "test_videos.h"

namespace dk::platform::test {
namespace {

std::string fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The bytes as a recording read piecewise (the streamer's way of reading).
VideoDecoder::Input inputOver(std::shared_ptr<const std::string> bytes) {
  VideoDecoder::Input input;
  input.read = [bytes](int64_t offset, uint8_t* out, int64_t count) -> int64_t {
    const auto size = static_cast<int64_t>(bytes->size());
    if (offset >= size) return 0;
    const int64_t n = std::min(count, size - offset);
    std::memcpy(out, bytes->data() + offset, static_cast<size_t>(n));
    return n;
  };
  input.size = [bytes] { return static_cast<int64_t>(bytes->size()); };
  return input;
}

struct DamageCase {
  const char* name;
  TestVideoOptions options;
  // Damages the file's bytes; returns the sample whose picture is the first damaged one.
  std::function<size_t(std::string& bytes, const std::string& path, const std::vector<SampleSpan>& samples)> damage;
};

TestVideoOptions cameraShape(int bFrames) {
  TestVideoOptions o;
  o.width = 320;
  o.height = 240;
  o.fps = 25;
  o.frames = 100;
  o.gop = 25;
  o.bFrames = bFrames;
  return o;
}

TEST(VideoDecoderDamageTest, EachSignOfDamageHidesTheDamagedFramesUntilTheNextKeyFrame) {
  const std::vector<DamageCase> cases = {
      {"noise in a picture's data: the decoder marks it broken", cameraShape(0),
       [](std::string& bytes, const std::string&, const std::vector<SampleSpan>& samples) {
         // Past its slice header: the picture decodes, with concealment where the noise is.
         const SampleSpan& p = samples[60];
         addNoise(bytes, p.pos + p.size / 4, p.size / 4);
         return size_t{60};
       }},
      {"a unit length past its packet: the decoder refuses the packet", cameraShape(1),
       [](std::string& bytes, const std::string&, const std::vector<SampleSpan>& samples) {
         size_t sample = 55;
         while (sample < samples.size() && !samples[sample].disposable) ++sample;
         if (sample == samples.size()) return sample;
         // A B-frame nothing refers to: without it the frames around it decode whole, and its
         // slot would show the picture before it.
         const auto at = static_cast<size_t>(samples[sample].pos);
         bytes[at] = bytes[at + 1] = bytes[at + 2] = bytes[at + 3] = '\x7f';
         return sample;
       }},
      {"a picture of another size", [] {
         TestVideoOptions o = cameraShape(0);
         o.otherSizeFrom = 50;
         return o;
       }(),
       [](std::string&, const std::string&, const std::vector<SampleSpan>&) { return size_t{50}; }},
  };
  for (const DamageCase& c : cases) {
    SCOPED_TRACE(c.name);
    dk::test::TemporaryDirectory folder;
    const std::string path = (folder.path() / "video.mp4").string();
    std::string why;
    ASSERT_TRUE(writeTestVideo(path, c.options, &why)) << why;
    const SequentialDecode reference = decodeSequentially(path);
    ASSERT_EQ(reference.pictures.size(), 100u);
    const std::vector<SampleSpan> samples = samplesOf(path);
    ASSERT_EQ(samples.size(), 100u);
    auto bytes = std::make_shared<std::string>(fileBytes(path));
    const size_t damagedSample = c.damage(*bytes, path, samples);
    ASSERT_LT(damagedSample, samples.size());
    // Frames from the damaged one's time up to the next key frame may be passed over; no other.
    const double from = samples[damagedSample].time;
    double until = std::numeric_limits<double>::infinity();
    for (size_t i = damagedSample + 1; i < samples.size(); ++i) {
      if (samples[i].key && c.options.otherSizeFrom < 0) {
        until = samples[i].time;
        break;
      }
    }

    VideoDecoder decoder;
    ASSERT_TRUE(decoder.open(inputOver(bytes), &why)) << why;
    ASSERT_EQ(decoder.frameCount(), 100u);
    std::vector<size_t> passedOver, wrong, hiddenOutside;
    for (size_t i = 0; i < decoder.frameCount(); ++i) {
      const double t = decoder.frameTimes()[i];
      ImagePtr picture = decoder.frameAt(i);
      if (!picture) {
        EXPECT_TRUE(decoder.lastFrameDamaged()) << "frame " << i;
        passedOver.push_back(i);
        // (The few frames before it that the decoder reads past may go too.)
        if (t < from - 0.2 || t >= until - 1e-6) hiddenOutside.push_back(i);
      } else if (compareImages(*picture, *reference.pictures[i]).maxAbsolute != 0) {
        wrong.push_back(i);
      }
    }
    EXPECT_TRUE(wrong.empty()) << wrong.size() << " frames shown unlike the video, the first " << wrong.front();
    EXPECT_FALSE(passedOver.empty()) << "the damaged frame was shown";
    EXPECT_TRUE(hiddenOutside.empty()) << hiddenOutside.size() << " whole frames hidden, the first " << hiddenOutside.front();
    // Each packet is decoded about once: the damaged stretch is not decoded again from its key
    // frame for each of its frames.
    EXPECT_LE(decoder.counters().packetsDecoded, 100 + c.options.gop);
  }
}

// An upload cut at 60%, its index first: the frames whose bytes all arrived play exactly, and the
// recording ends after the last of them, its length saying so.
TEST(VideoDecoderDamageTest, ARecordingCutShortEndsAtItsLastWholeFrame) {
  for (const int bFrames : {0, 2}) {
    SCOPED_TRACE("B-frames " + std::to_string(bFrames));
    dk::test::TemporaryDirectory folder;
    const std::string path = (folder.path() / "video.mp4").string();
    TestVideoOptions options = cameraShape(bFrames);
    options.frames = 250;
    options.gop = 50;
    options.indexFirst = true;
    std::string why;
    ASSERT_TRUE(writeTestVideo(path, options, &why)) << why;
    const SequentialDecode reference = decodeSequentially(path);
    ASSERT_EQ(reference.pictures.size(), 250u);
    auto bytes = std::make_shared<std::string>(fileBytes(path));
    bytes->resize(bytes->size() * 6 / 10);

    VideoDecoder decoder;
    ASSERT_TRUE(decoder.open(inputOver(bytes), &why)) << why;
    const size_t count = decoder.frameCount();
    EXPECT_GT(count, 100u);
    EXPECT_LT(count, 170u);
    for (size_t i = 0; i < count; ++i) {
      ASSERT_NEAR(decoder.frameTimes()[i], reference.times[i], 1e-9) << "frame " << i;
    }
    EXPECT_NEAR(decoder.duration(), decoder.frameTimes().back() + 0.04, 1e-6);
    for (size_t i = 0; i < count; ++i) {
      ImagePtr picture = decoder.frameAt(i);
      ASSERT_TRUE(picture) << "frame " << i << (decoder.lastFrameDamaged() ? " damaged" : "");
      ASSERT_EQ(compareImages(*picture, *reference.pictures[i]).maxAbsolute, 0) << "frame " << i;
    }
    EXPECT_FALSE(decoder.frameAt(count));
  }
}

}  // namespace
}  // namespace dk::platform::test
