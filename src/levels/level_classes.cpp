#include "level_classes.hpp"

#include <cstdint>

namespace korvane {

Groups<index_t> sorted_groups(const Groups<index_t>& dense) {
  // Sort by (first vertex, group) packed in one word, then settle groups that
  // share a first vertex by comparing their whole lists.
  Ticker tick;
  std::vector<std::uint64_t> keys(dense.size());
  for (index_t g = 0; g < keys.size(); ++g) keys[g] = std::uint64_t{*dense.begin(g)} << 32 | g;
  std::sort(keys.begin(), keys.end());
  const auto group_of = [](std::uint64_t key) { return static_cast<index_t>(key); };
  const auto lexicographic = [&](std::uint64_t a, std::uint64_t b) {
    return std::lexicographical_compare(dense.begin(group_of(a)), dense.end(group_of(a)), dense.begin(group_of(b)),
                                        dense.end(group_of(b)));
  };
  for (auto run = keys.begin(); run != keys.end();) {
    const auto run_end = std::find_if(run, keys.end(), [&](std::uint64_t key) { return key >> 32 != *run >> 32; });
    tick(static_cast<std::size_t>(run_end - run));
    if (run_end - run > 1) std::sort(run, run_end, lexicographic);
    run = run_end;
  }
  Groups<index_t> out;
  out.items.reserve(dense.items.size());
  out.starts.reserve(dense.size() + 1);
  for (const std::uint64_t key : keys) {
    tick(dense.length(group_of(key)) + 1);
    out.items.insert(out.items.end(), dense.begin(group_of(key)), dense.end(group_of(key)));
    out.close_group();
  }
  return out;
}

}  // namespace korvane
