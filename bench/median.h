// The median of a benchmark's timings: steadier than the mean on a machine
// that is busy with other work now and then.
#pragma once

#include <algorithm>
#include <vector>

namespace kws::bench {

inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace kws::bench
