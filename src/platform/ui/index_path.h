// IndexPath: a (section, row) pair naming one row of a table view or one item of a collection.
//
// A plain value; safe to share between threads.
#pragma once

#include <compare>
#include <cstddef>
#include <functional>
#include <ostream>

namespace dk::platform {

struct IndexPath {
  long section = 0;
  long row = 0;

  static IndexPath forRow(long row, long section) { return IndexPath{section, row}; }
  friend bool operator==(const IndexPath&, const IndexPath&) = default;
  friend auto operator<=>(const IndexPath&, const IndexPath&) = default;
  friend std::ostream& operator<<(std::ostream& os, const IndexPath& p) {
    return os << "[" << p.section << ", " << p.row << "]";
  }
};

}  // namespace dk::platform

template <>
struct std::hash<dk::platform::IndexPath> {
  size_t operator()(const dk::platform::IndexPath& p) const noexcept {
    return std::hash<long>()(p.section) * 1000003u ^ std::hash<long>()(p.row);
  }
};
