// KLTimeRange: a slice of time passed by value — a row of the time strip or its visible window.
#pragma once

namespace dk {

struct KLTimeRange {
  double start = 0;     // seconds since 1970
  double duration = 0;  // seconds
  double end() const { return start + duration; }
  friend bool operator==(const KLTimeRange&, const KLTimeRange&) = default;
};

}  // namespace dk
