// ComparisonResult: the three-way answer of comparisons and sort callbacks (NSComparisonResult).
#pragma once

namespace dk::platform {

enum ComparisonResult : int {
  kOrderedAscending = -1,  // the left operand is smaller
  kOrderedSame = 0,
  kOrderedDescending = 1,  // the left operand is larger
};

}  // namespace dk::platform
