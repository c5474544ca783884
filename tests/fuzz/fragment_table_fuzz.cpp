// A fragmented recording read through an Input, as the player reads one over the network: its
// frame table starts with the first fragment and grows fragment by fragment. Whatever the
// fragments say (out of order, no sample flagged as a key frame, cut short, runs that do not add
// up), the table stays ascending at every step, only grows until it is complete, and every
// lookup and decode lands inside it.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/media/recordings/video_decoder.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

void checkTable(const dk::platform::VideoDecoder& decoder) {
  const auto& times = decoder.frameTimes();
  for (size_t i = 1; i < times.size(); ++i) check(times[i - 1] < times[i]);
  for (double t : times) check(std::isfinite(t));
  check(std::isfinite(decoder.duration()));
}

// A few frames of the table: the first, the last and one in between decode or come back empty,
// and a picture is as large as the stream says.
void decodeSome(dk::platform::VideoDecoder& decoder) {
  const size_t count = decoder.frameCount();
  if (count == 0) return;
  for (size_t index : {size_t{0}, count / 2, count - 1}) {
    if (auto image = decoder.frameAt(index)) {
      check(image->pixelWidth() == decoder.width() && image->pixelHeight() == decoder.height());
    }
  }
  check(decoder.frameAt(count) == nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using dk::platform::VideoDecoder;
  VideoDecoder::Input input;
  input.read = [data, size](int64_t offset, uint8_t* out, int64_t count) -> int64_t {
    if (offset < 0 || count < 0) return -1;
    if (static_cast<uint64_t>(offset) >= size) return 0;
    const auto n = static_cast<size_t>(std::min<uint64_t>(static_cast<uint64_t>(count), size - static_cast<uint64_t>(offset)));
    std::memcpy(out, data + offset, n);
    return static_cast<int64_t>(n);
  };
  input.size = [size] { return static_cast<int64_t>(size); };
  VideoDecoder decoder;
  if (!decoder.open(std::move(input))) return 0;
  checkTable(decoder);
  decodeSome(decoder);
  // Read on a fragment's worth at a time, then all at once. A fragment that does not fit ends the
  // table before it, so frames read beyond it (past a gap) may go again.
  for (int step = 0; step < 16 && !decoder.complete(); ++step) {
    const double last = decoder.frameTimes().empty() ? 0 : decoder.frameTimes().back();
    decoder.extendTo(step < 8 ? last + 0.5 : 1e9);
    checkTable(decoder);
    check(decoder.frameIndexAt(last) < std::max<size_t>(decoder.frameCount(), 1));
  }
  decodeSome(decoder);
  return 0;
}
