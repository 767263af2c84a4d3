// Small timing helpers shared by the benchmarks.
#pragma once

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace vxl::bench {

// The benchmarks' positions and angles: xorshift32 from a fixed seed, the same on every run.
struct XorShift {
  uint32_t state = 2463534242u;
  uint32_t Next() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
  }
};

// Milliseconds one call of fn takes.
template <class F>
double TimeMs(F&& fn) {
  auto start = std::chrono::steady_clock::now();
  fn();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

// CPU milliseconds (user and system) one call of fn takes on this thread: on a busy machine the
// wall clock mostly measures the other programs.
template <class F>
double CpuMs(F&& fn) {
  timespec start, end;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &start);
  fn();
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &end);
  return double(end.tv_sec - start.tv_sec) * 1e3 + double(end.tv_nsec - start.tv_nsec) / 1e6;
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

// MedianPairMs in CPU time of this thread.
template <class A, class B>
std::pair<double, double> MedianPairCpuMs(int rounds, A&& a, B&& b) {
  std::vector<double> ta, tb;
  for (int i = 0; i < rounds; ++i) {
    ta.push_back(CpuMs(a));
    tb.push_back(CpuMs(b));
  }
  return {Median(ta), Median(tb)};
}

inline void Print(const char* name, double value, const char* unit = "") {
  std::printf("%s: %.3f%s%s\n", name, value, *unit ? " " : "", unit);
}

}  // namespace vxl::bench
