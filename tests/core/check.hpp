// The check programs' one assertion: a condition that fails is said on stderr
// with its line and counted, and the program goes on to the next check.
#pragma once

#include <cstdio>

namespace checks {

inline int& failures() {
  static int count = 0;
  return count;
}

inline void check(bool condition, const char* what, int line) {
  if (!condition) {
    ++failures();
    std::fprintf(stderr, "line %d: failed: %s\n", line, what);
  }
}

}  // namespace checks

#define CHECK(condition) checks::check((condition), #condition, __LINE__)
