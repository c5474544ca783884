// LiveFetchGate: at most one live-message fetch in flight per camera, with at most one follow-up.
// Messages that arrive while a camera's fetch is on its way are folded into one follow-up fetch
// (their values merged), so a broker flooding one camera (hostile or broken) costs two requests,
// not one per message, and other cameras are never held up by it.
//
// Thread-safe. The gate may go away while a fetch is in flight: its end then starts nothing.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/foundation/value.h"

namespace dk {

class LiveFetchGate {
 public:
  // Calls back once, from any thread, when the fetch ended however it ended.
  using Done = std::function<void()>;
  // Starts one fetch for the value; must call `done` when it ends.
  using Fetch = std::function<void(const platform::Value& value, Done done)>;
  // Folds a message's value into the values that came before it while a fetch was in flight
  // (`folded` is nil for the first); without a merge the follow-up fetches with nil.
  using Merge = std::function<platform::Value(const platform::Value& folded, const platform::Value& incoming)>;

  explicit LiveFetchGate(Merge merge = {});

  // Fetches for `camera` at once when nothing is in flight for it; otherwise folds `value` into
  // the follow-up, which runs `fetch` once the fetch in flight ended.
  void request(int64_t camera, const platform::Value& value, Fetch fetch);

 private:
  struct State;
  static void start(const std::shared_ptr<State>& state, int64_t camera, const platform::Value& value, Fetch fetch);
  static void ended(const std::weak_ptr<State>& weak, int64_t camera, const Fetch& fetch);

  std::shared_ptr<State> state_;
};

}  // namespace dk
