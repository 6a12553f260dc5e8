// The hub-aware join's main route: the holders of each light vertex tied once
// by a maximum spanning forest of their overlaps.
#include <algorithm>
#include <iterator>

#include "medium_bits.hpp"
#include "prefix_join.hpp"

namespace korvane {

// Ties the holders of v by a maximum spanning forest of the weight |heavy and
// medium vertices shared, among those `keep` selects| + extra, a lower bound of
// their overlap: at every level the forest's pairs connect what those pairs do.
bool PrefixJoin::tie_by_forest(index_t v, const std::uint64_t (&keep)[medium_words], index_t extra,
                               std::uint64_t& budget, Ticker& tick) {
  const Entry* list = holders_.begin(v);
  constexpr std::size_t words = 1 + medium_words;
  word_t* rows = forest_.rows(holders_.length(v), words);
  for (std::size_t k = 0; k < holders_.length(v); ++k) {
    const Bits& b = bits_[list[k].set];
    rows[k * words] = b.heavy;
    for (std::size_t w = 0; w < medium_words; ++w) rows[k * words + w + 1] = b.medium[w] & keep[w];
  }
  return forest_.span_distinct(
      [&](index_t a, index_t b, index_t shared) {
        const std::size_t weight = shared + extra;
        if (weight >= 2) joined_.add_shared(weight, list[a].set, list[b].set);
      },
      budget, tick);
}

// Two holders of a medium v share at least their heavy and medium vertices up
// to v, exactly that many when v is the lightest vertex they share, so the
// forest under that weight stands for all the pairs meeting first at v. Returns
// false, leaving v to the pairing, when the forest would overrun the budget.
bool PrefixJoin::tie_medium(index_t v, Ticker& tick) {
  const index_t medium = medium_rank_[v];
  std::uint64_t keep[medium_words];
  for (std::size_t w = 0; w < medium_words; ++w)
    keep[w] = w < medium / 64   ? ~std::uint64_t{0}
              : w > medium / 64 ? 0
                                : ~((std::uint64_t{1} << (63 - medium % 64)) - 1);
  return tie_by_forest(v, keep, 0, forest_budget_, tick);
}

// A pair whose lightest shared vertex e is rare shares its heavy and medium
// vertices and e, and more only if it shares another rare vertex. So a forest
// per rare list under the weight |heavy and medium shared| + 1 covers the pairs
// sharing one rare vertex, and the pairs sharing two or more, counted through
// the rare lists, are kept with their exact overlap. All rare lists go this way
// or none, when their pairs would overrun the budget.
bool PrefixJoin::tie_rare(const std::vector<index_t>& rare, Ticker& tick) {
  if (rare.empty()) return true;
  std::uint64_t pairs = 0;
  for (index_t v : rare) pairs += std::uint64_t{holders_.length(v)} * (holders_.length(v) - 1) / 2;
  if (2 * pairs > forest_budget_) return false;
  forest_budget_ -= 2 * pairs;
  std::uint64_t keep[medium_words];
  std::fill(std::begin(keep), std::end(keep), ~std::uint64_t{0});
  for (index_t v : rare) tie_by_forest(v, keep, 1, pairs, tick);

  const index_t n = static_cast<index_t>(light_.size());
  std::vector<index_t> shared(n, 0);
  std::vector<index_t> touched;
  for (index_t a = 0; a < n; ++a) {
    for (const index_t* u = light_.begin(a) + medium_count(bits_[a]); u != light_.end(a); ++u) {
      tick(holders_.length(*u));
      for (const Entry* e = holders_.begin(*u); e != holders_.end(*u); ++e)
        if (e->set > a && shared[e->set]++ == 0) touched.push_back(e->set);
    }
    for (index_t b : touched) {
      if (shared[b] >= 2) {
        const std::size_t overlap = popcount64(bits_[a].heavy & bits_[b].heavy) +
                                    medium_shared(bits_[a], bits_[b], every_word) + shared[b];
        joined_.add_shared(overlap, a, b);
      }
      shared[b] = 0;
    }
    touched.clear();
  }
  return true;
}

}  // namespace korvane
