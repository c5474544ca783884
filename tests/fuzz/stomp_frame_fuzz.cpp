// Fuzzes the STOMP frame parser: arbitrary bytes, fed in pieces whose sizes the input picks, must
// never crash, never hold more than the limit, and every frame it yields must survive a round
// trip through its wire form unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "platform/net/stomp_frame.h"

using dk::platform::StompFrame;
using dk::platform::StompFrameParser;

namespace {

constexpr size_t kLimit = 4096;  // small, so that the limit itself is reached often

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte picks the piece size (1 to 64 bytes): frames split across messages.
  const size_t piece = (data[0] % 64) + 1;
  std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
  StompFrameParser parser(kLimit);
  std::vector<StompFrame> frames;
  for (size_t at = 0; at < input.size(); at += piece) {
    const bool ok = parser.feed(input.substr(at, piece), frames);
    check(ok != parser.failed());
    check(parser.buffered() <= kLimit + 2);
    if (!ok) break;
  }
  for (const StompFrame& frame : frames) {
    check(!frame.command.empty());
    check(frame.body.size() <= kLimit);
    // CONNECT/CONNECTED headers are not escaped, so a value with a newline cannot round-trip.
    if (frame.command == "CONNECT" || frame.command == "CONNECTED") continue;
    StompFrame copy = frame;
    // A body with a NUL needs its content-length; serialize keeps the one the frame carries.
    StompFrameParser again(kLimit * 2);
    std::vector<StompFrame> back;
    check(again.feed(copy.serialize(), back));
    check(back.size() == 1);
    check(back[0].command == frame.command);
    check(back[0].body == frame.body);
    check(back[0].headers.size() >= frame.headers.size());
  }
  return 0;
}
