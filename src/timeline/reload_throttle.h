// ReloadThrottle: at most one ordinary table reload per window (one second on the clock); a
// refused reload stays pending for the next tick. A forced reload is never refused and starts a
// new window. A clock that steps back (a manual time change) ends the window at once instead of
// refusing reloads until the old time comes round again.
#pragma once

namespace dk {

class ReloadThrottle {
 public:
  explicit ReloadThrottle(double window = 1.0) : window_(window) {}

  // True when a reload may run now; a refusal marks it pending.
  bool shouldReload(double now, bool force) {
    bool steppedBack = now < lastReload_;
    if (!force && !steppedBack && now < nextReload_) {
      pending_ = true;
      return false;
    }
    return true;
  }
  // Records a reload that ran at `now`.
  void didReload(double now) {
    lastReload_ = now;
    nextReload_ = now + window_;
    pending_ = false;
  }
  bool isPending() const { return pending_; }
  double nextReloadTime() const { return nextReload_; }

 private:
  double window_;
  double lastReload_ = -1e300;
  double nextReload_ = 0;
  bool pending_ = false;
};

}  // namespace dk
