#include "light_forests.hpp"

#include <algorithm>
#include <cstddef>
#include <iterator>

#include "bitsets.hpp"

namespace korvane {

// Ties the holders of v by a maximum spanning forest of the weight |heavy and
// medium vertices shared, among those `keep` selects| + extra, a lower bound of
// their overlap: at every level the forest's pairs connect what those pairs do.
bool LightForests::tie_by_forest(index_t v, const std::uint64_t (&keep)[medium_words], index_t extra,
                                 std::uint64_t& budget, Ticker& tick) {
  const Holder* list = holders_.begin(v);
  rows_.clear();
  for (std::size_t k = 0; k < holders_.length(v); ++k) {
    const SetBits& b = bits_[list[k].set];
    BitRow row{{b.heavy}};
    for (std::size_t w = 0; w < medium_words; ++w) row.words[w + 1] = b.medium[w] & keep[w];
    rows_.push_back(row);
  }
  forest_.clear();
  if (!overlap_forest_.tie(rows_, forest_, budget, tick)) return false;
  for (const WeightedPair& p : forest_) {
    const std::size_t weight = p.weight + extra;
    if (weight >= 2) joined_.add_shared(weight, list[p.a].set, list[p.b].set);
  }
  return true;
}

// Two holders of a medium v share at least their heavy and medium vertices up
// to v, exactly that many when v is the lightest vertex they share, so the
// forest under that weight stands for all the pairs meeting first at v. Returns
// false, leaving v to the pairing, when the forest would overrun the budget.
bool LightForests::tie_medium(index_t v, index_t medium, Ticker& tick) {
  std::uint64_t keep[medium_words];
  for (std::size_t w = 0; w < medium_words; ++w)
    keep[w] = w < medium / 64   ? ~std::uint64_t{0}
              : w > medium / 64 ? 0
                                : ~((std::uint64_t{1} << (63 - medium % 64)) - 1);
  return tie_by_forest(v, keep, 0, budget_, tick);
}

// A pair whose lightest shared vertex e is rare shares its heavy and medium
// vertices and e, and more only if it shares another rare vertex. So a forest
// per rare list under the weight |heavy and medium shared| + 1 covers the pairs
// sharing one rare vertex, and the pairs sharing two or more, counted through
// the rare lists, are kept with their exact overlap. All rare lists go this way
// or none, when their pairs would overrun the budget.
bool LightForests::tie_rare(const std::vector<index_t>& rare, Ticker& tick) {
  if (rare.empty()) return true;
  std::uint64_t pairs = 0;
  for (index_t v : rare) pairs += std::uint64_t{holders_.length(v)} * (holders_.length(v) - 1) / 2;
  if (2 * pairs > budget_) return false;
  budget_ -= 2 * pairs;
  std::uint64_t keep[medium_words];
  std::fill(std::begin(keep), std::end(keep), ~std::uint64_t{0});
  for (index_t v : rare) tie_by_forest(v, keep, 1, pairs, tick);

  // Local references, which the calls in the loop leave in registers.
  const std::vector<SetBits>& bits = bits_;
  const Groups<index_t>& light = light_;
  const Groups<Holder>& holders = holders_;
  const index_t n = static_cast<index_t>(light.size());
  std::vector<index_t> shared(n, 0);
  std::vector<index_t> touched;
  for (index_t a = 0; a < n; ++a) {
    for (const index_t* u = light.begin(a) + medium_count(bits[a]); u != light.end(a); ++u) {
      tick(holders.length(*u));
      for (const Holder* e = holders.begin(*u); e != holders.end(*u); ++e)
        if (e->set > a && shared[e->set]++ == 0) touched.push_back(e->set);
    }
    for (index_t b : touched) {
      if (shared[b] >= 2) {
        const std::size_t overlap = popcount64(bits[a].heavy & bits[b].heavy) +
                                    medium_shared(bits[a], bits[b], every_word) + shared[b];
        joined_.add_shared(overlap, a, b);
      }
      shared[b] = 0;
    }
    touched.clear();
  }
  return true;
}

}  // namespace korvane
