#include "services/live_fetch_gate.h"

#include <map>
#include <mutex>
#include <utility>

namespace dk {

using platform::Value;

struct LiveFetchGate::State {
  struct InFlight {
    bool followUp = false;
    Value folded;
  };
  Merge merge;
  std::mutex mutex;
  std::map<int64_t, InFlight> inFlight;
};

LiveFetchGate::LiveFetchGate(Merge merge) : state_(std::make_shared<State>()) { state_->merge = std::move(merge); }

void LiveFetchGate::request(int64_t camera, const Value& value, Fetch fetch) {
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    auto [it, first] = state_->inFlight.try_emplace(camera);
    if (!first) {
      // A fetch is on its way: it or its one follow-up brings this message's news too.
      it->second.followUp = true;
      if (state_->merge) it->second.folded = state_->merge(it->second.folded, value);
      return;
    }
  }
  start(state_, camera, value, std::move(fetch));
}

void LiveFetchGate::start(const std::shared_ptr<State>& state, int64_t camera, const Value& value, Fetch fetch) {
  std::weak_ptr<State> weak = state;
  // Called outside the lock: the fetch may end at once, on this thread.
  fetch(value, [weak, camera, fetch] { ended(weak, camera, fetch); });
}

void LiveFetchGate::ended(const std::weak_ptr<State>& weak, int64_t camera, const Fetch& fetch) {
  auto state = weak.lock();
  if (!state) return;
  Value folded;
  {
    std::lock_guard<std::mutex> lock(state->mutex);
    auto it = state->inFlight.find(camera);
    if (it == state->inFlight.end()) return;
    if (!it->second.followUp) {
      state->inFlight.erase(it);
      return;
    }
    folded = std::move(it->second.folded);
    it->second = State::InFlight{};
  }
  start(state, camera, folded, fetch);
}

}  // namespace dk
