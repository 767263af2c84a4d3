// Small timing helpers shared by the benchmarks.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace vxl::bench {

// Milliseconds one call of fn takes.
template <class F>
double TimeMs(F&& fn) {
  auto start = std::chrono::steady_clock::now();
  fn();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Runs a and b alternately `rounds` times (so both see the same machine state) and returns the
// median time of each in milliseconds.
template <class A, class B>
std::pair<double, double> MedianPairMs(int rounds, A&& a, B&& b) {
  std::vector<double> ta, tb;
  for (int i = 0; i < rounds; ++i) {
    ta.push_back(TimeMs(a));
    tb.push_back(TimeMs(b));
  }
  return {Median(ta), Median(tb)};
}

inline void Print(const char* name, double value, const char* unit = "") {
  std::printf("%s: %.3f%s%s\n", name, value, *unit ? " " : "", unit);
}

}  // namespace vxl::bench
