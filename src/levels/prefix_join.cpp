#include "prefix_join.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <utility>

#include "bitsets.hpp"
#include "overlap_forest.hpp"


namespace korvane {

namespace {

// At most this many distinct heavy masks: the spanning forest over them costs
// the square of their number.
constexpr std::size_t max_mask_groups = 4096;
constexpr std::size_t max_heavy = 64;

int leading_zeros(std::uint64_t x) {
  int n = 0;
  for (std::uint64_t bit = std::uint64_t{1} << 63; bit != 0 && (x & bit) == 0; bit >>= 1) ++n;
  return n;
}

}  // namespace

PrefixJoin::PrefixJoin(const Groups<index_t>& sets, index_t vertex_count, std::size_t level_count, Ticker& tick,
                       std::uint64_t forest_budget_per_item)
    : bits_(sets.size()),
      active_(vertex_count, 0),
      uniform_(vertex_count, 0),
      mask_pairs_(level_count),
      joined_(level_count),
      deferred_(level_count),
      heavy_rank_(vertex_count, max_heavy),
      medium_rank_(vertex_count, max_medium),
      common_(vertex_count, 0),
      forests_(bits_, light_, holders_, joined_, forest_budget_per_item * sets.items.size()),
      stamp_(vertex_count, 0) {
  std::vector<index_t> degree(vertex_count, 0);
  for (index_t v : sets.items) ++degree[v];
  std::vector<index_t> by_weight(vertex_count);
  std::iota(by_weight.begin(), by_weight.end(), index_t{0});
  std::stable_sort(by_weight.begin(), by_weight.end(), [&](index_t a, index_t b) { return degree[a] > degree[b]; });
  std::vector<index_t> rank(vertex_count);
  for (index_t r = 0; r < vertex_count; ++r) rank[by_weight[r]] = r;
  tick(vertex_count);

  choose_heavy(sets, degree, by_weight, tick);
  // The next heaviest vertices, in two or more sets, are the medium ones.
  std::size_t first_medium = 0;
  while (first_medium < by_weight.size() && heavy_rank_[by_weight[first_medium]] < max_heavy) ++first_medium;
  for (std::size_t m = 0; m < max_medium && first_medium + m < by_weight.size(); ++m) {
    const index_t v = by_weight[first_medium + m];
    if (degree[v] < 2) break;
    medium_rank_[v] = static_cast<index_t>(m);
  }

  // Light vertices of each set, heaviest first (the medium ones first); a light
  // vertex's position in its set counts the heavy vertices before it.
  std::vector<index_t> holder_count(vertex_count, 0);
  light_.items.reserve(sets.items.size());
  for (std::size_t s = 0; s < sets.size(); ++s) {
    const std::size_t first = light_.items.size();
    for (const index_t* v = sets.begin(s); v != sets.end(s); ++v) {
      if (heavy_rank_[*v] < max_heavy) {
        bits_[s].heavy |= std::uint64_t{1} << (63 - heavy_rank_[*v]);
      } else {
        light_.items.push_back(*v);
        ++holder_count[*v];
        const index_t m = medium_rank_[*v];
        if (m < max_medium) bits_[s].medium[m / 64] |= std::uint64_t{1} << (63 - m % 64);
      }
    }
    std::sort(light_.items.begin() + first, light_.items.end(),
              [&rank](index_t a, index_t b) { return rank[a] < rank[b]; });
    light_.close_group();
  }
  tick(sets.items.size());

  holders_.starts.resize(std::size_t{vertex_count} + 1);
  for (index_t v = 0; v < vertex_count; ++v) holders_.starts[v + 1] = holders_.starts[v] + holder_count[v];
  holders_.items.resize(light_.items.size());
  std::vector<std::size_t> fill(holders_.starts.begin(), holders_.starts.end() - 1);
  for (index_t s = 0; s < light_.size(); ++s) {
    const index_t heavy = static_cast<index_t>(popcount64(bits_[s].heavy));
    const index_t medium = static_cast<index_t>(medium_count(bits_[s]));
    for (index_t k = 0; k < light_.length(s); ++k)
      holders_.items[fill[light_.begin(s)[k]]++] = Holder{s, heavy + k, k - std::min(k, medium), s};
  }
  std::vector<index_t> rare;
  for (index_t v = 0; v < vertex_count; ++v)
    if (holders_.length(v) >= 2 && medium_rank_[v] == max_medium) rare.push_back(v);
  const bool rare_tied = forests_.tie_rare(rare, tick);
  for (index_t v = 0; v < vertex_count; ++v) {
    if (holders_.length(v) < 2 || (rare_tied && medium_rank_[v] == max_medium)) continue;
    if (medium_rank_[v] < max_medium && forests_.tie_medium(v, medium_rank_[v], tick)) continue;
    std::sort(holders_.items.begin() + holders_.starts[v], holders_.items.begin() + holders_.starts[v + 1],
              [](const Holder& a, const Holder& b) { return a.position > b.position; });
    tick(holders_.length(v));
    listed_.push_back(v);
    chain_common(v);
  }
  join_by_masks(tick);
}

// The heavy and medium vertices every holder of v has, and v: any two holders
// share them, so a chain along the list ties all holders at that many and no
// pair needs to be kept for fewer.
void PrefixJoin::chain_common(index_t v) {
  const Holder* list = holders_.begin(v);
  SetBits all = bits_[list[0].set];
  for (std::size_t k = 1; k < holders_.length(v); ++k) {
    const SetBits& next = bits_[list[k].set];
    all.heavy &= next.heavy;
    for (std::size_t w = 0; w < medium_words; ++w) all.medium[w] &= next.medium[w];
  }
  const std::size_t shared = popcount64(all.heavy) + medium_count(all) +
                             (medium_rank_[v] < max_medium ? 0 : 1);
  common_[v] = static_cast<index_t>(shared);
  if (shared < 2) return;
  for (std::size_t k = 1; k < holders_.length(v); ++k)
    joined_.add_shared(shared, list[k - 1].set, list[k].set);
}

// Heavy vertices: up to 64 of the heaviest, each in more than sqrt(total size)
// sets, as many as keep the number of distinct masks within bounds. With bit
// 63-r for rank r, sorted masks agree on the first K ranks in runs, and two
// neighbours first differ at rank leading_zeros(a ^ b): one pass counts the
// distinct masks for every K.
void PrefixJoin::choose_heavy(const Groups<index_t>& sets, const std::vector<index_t>& degree,
                              const std::vector<index_t>& by_weight, Ticker& tick) {
  const double floor = std::sqrt(static_cast<double>(sets.items.size()));
  std::size_t candidates = 0;
  while (candidates < std::min<std::size_t>(max_heavy, by_weight.size()) &&
         degree[by_weight[candidates]] > floor)
    ++candidates;
  if (candidates == 0) return;
  for (std::size_t r = 0; r < candidates; ++r) heavy_rank_[by_weight[r]] = r;

  std::vector<std::uint64_t> masks(sets.size(), 0);
  for (std::size_t s = 0; s < sets.size(); ++s)
    for (const index_t* v = sets.begin(s); v != sets.end(s); ++v)
      if (heavy_rank_[*v] < max_heavy) masks[s] |= std::uint64_t{1} << (63 - heavy_rank_[*v]);
  std::sort(masks.begin(), masks.end());
  tick(sets.items.size() + sets.size());
  std::vector<std::size_t> first_difference(max_heavy + 1, 0);
  for (std::size_t k = 1; k < masks.size(); ++k)
    if (masks[k] != masks[k - 1]) ++first_difference[leading_zeros(masks[k] ^ masks[k - 1])];
  std::size_t kept = 0, distinct = 1;
  for (std::size_t k = 1; k <= candidates; ++k) {
    distinct += first_difference[k - 1];
    if (distinct > max_mask_groups) break;
    kept = k;
  }
  for (std::size_t r = kept; r < candidates; ++r) heavy_rank_[by_weight[r]] = max_heavy;
}

// Sets with two or more heavy vertices are tied by a maximum spanning forest of
// their heavy overlaps, which keeps the connectivity of those ties at every
// threshold. The distinct masks are few, so the forest needs no budget.
void PrefixJoin::join_by_masks(Ticker& tick) {
  std::vector<index_t> sets;
  std::vector<BitRow> masks;
  for (index_t s = 0; s < bits_.size(); ++s) {
    if (popcount64(bits_[s].heavy) < 2) continue;
    sets.push_back(s);
    masks.push_back(BitRow{{bits_[s].heavy}});
  }
  std::vector<WeightedPair> forest;
  std::uint64_t unlimited = ~std::uint64_t{0};
  OverlapForest().tie(masks, forest, unlimited, tick);
  for (const WeightedPair& p : forest)
    if (p.weight >= 2) mask_pairs_.add_shared(p.weight, sets[p.a], sets[p.b]);
}

void PrefixJoin::join(std::size_t q, Dsu& classes, Ticker& tick) {
  mask_pairs_.unite(q, classes);
  joined_.unite(q, classes);
  join_deferred(q, classes, tick);
  const std::size_t t = q + 1;
  for (index_t v : listed_) {
    index_t& active = active_[v];
    const index_t before = active;
    const Holder* list = holders_.begin(v);
    while (active < holders_.length(v) && list[active].position + 1 >= t) ++active;
    if (active >= 2 && active > before) join_list(v, before, t, classes, tick);
  }
}

// The pairs kept for level q share at most q+1 vertices. Those still in
// different classes are counted: sharing q+1 they unite, sharing fewer they
// wait for the level their exact overlap reaches.
void PrefixJoin::join_deferred(std::size_t q, Dsu& classes, Ticker& tick) {
  const std::vector<IdPair> pairs = deferred_.take(q);
  tick(pairs.size());
  for (const IdPair& p : pairs) {
    if (classes.find(p.a) == classes.find(p.b)) continue;
    stamp(p.a);
    tick(light_.length(p.a) + light_.length(p.b));
    const std::size_t shared = overlap(p.a, p.b);
    if (shared > q)
      classes.unite(p.a, p.b);
    else if (shared >= 2)
      joined_.add(shared - 1, p.a, p.b);
  }
}

// Stamps set a's rare vertices for overlap(), unless they still are.
void PrefixJoin::stamp(index_t a) {
  if (stamped_ == a) return;
  stamped_ = a;
  if (++stamp_value_ == 0) {
    std::fill(stamp_.begin(), stamp_.end(), 0);
    stamp_value_ = 1;
  }
  for (const index_t* u = light_.begin(a) + medium_count(bits_[a]); u != light_.end(a); ++u)
    stamp_[*u] = stamp_value_;
}

// |a & b|, with a's rare vertices stamped.
std::size_t PrefixJoin::overlap(index_t a, index_t b) const {
  std::size_t shared = popcount64(bits_[a].heavy & bits_[b].heavy) +
                       medium_shared(bits_[a], bits_[b], every_word);
  for (const index_t* u = light_.begin(b) + medium_count(bits_[b]); u != light_.end(b); ++u)
    shared += stamp_[*u] == stamp_value_;
  return shared;
}

// The holders of v at positions [first_new, active) entered its list at this
// level; every pair of older holders met here at a level above. A pair first
// meets at its lightest shared vertex e, and all its shared vertices sit at or
// before e in both sets. If e is medium, the masks give the pair's overlap
// exactly: the heavy and medium vertices both sets hold before e, plus e. If e
// is rare, the pair shares at most those of its heavy and medium vertices, e,
// and the rare vertices before e in the set where e comes first; that bound
// caps the level at which the pair can join, so it waits there and is only
// counted if its classes still differ then. Meeting again at another vertex,
// a pair is either seen to have met before (a shared medium vertex after v) or
// kept for a level its shared vertices justify, which its first meeting already
// covers.
//
// Each new holder is tested against the holders before it in the list that
// are in another class. Every entry caches a class root; a cached root that
// differs from the new holder's is refreshed, so that a class already reached
// costs one comparison per member. The holders in the class of the first one
// are kept at the front, and skipped whole when the new holder joins them.
void PrefixJoin::join_list(index_t v, index_t first_new, std::size_t t, Dsu& classes, Ticker& tick) {
  Holder* list = holders_.items.data() + holders_.starts[v];
  const index_t count = active_[v];
  // For a medium v, the medium bits before and after its own.
  const index_t medium = medium_rank_[v];
  const auto heavier = [medium](std::size_t w) -> std::uint64_t {
    if (w != medium / 64) return w < medium / 64 ? ~std::uint64_t{0} : 0;
    return ~((std::uint64_t{2} << (63 - medium % 64)) - 1);
  };
  const auto lighter = [medium](std::size_t w) -> std::uint64_t {
    if (w != medium / 64) return w > medium / 64 ? ~std::uint64_t{0} : 0;
    return (std::uint64_t{1} << (63 - medium % 64)) - 1;
  };
  index_t& uniform = uniform_[v];
  const std::size_t common = common_[v];
  for (index_t k = first_new; k < count; ++k) {
    const index_t a = list[k].set;
    const SetBits mine = bits_[a];
    index_t root = classes.find(a);
    const index_t first = uniform > 0 && classes.find(list[0].set) == root ? uniform : 0;
    tick(k - first + 1);
    for (index_t m = first; m < k; ++m) {
      Holder& entry = list[m];
      if (entry.root == root || (entry.root = classes.find(entry.root)) == root) continue;
      const index_t other = entry.set;
      const SetBits& theirs = bits_[other];
      const std::size_t heavy = popcount64(mine.heavy & theirs.heavy);
      std::size_t shared;
      if (medium < max_medium) {
        // A shared medium vertex after v: the pair met first there.
        if (medium_shared(mine, theirs, lighter) != 0) continue;
        shared = heavy + medium_shared(mine, theirs, heavier) + 1;
      } else {
        const std::size_t bound = heavy + medium_shared(mine, theirs, every_word) + 1 +
                                  std::min(list[k].rare_position, entry.rare_position);
        if (bound <= common) continue;
        if (bound < t) {
          if (bound >= 2) deferred_.add(bound - 1, a, other);
          continue;
        }
        stamp(a);
        tick(light_.length(a) + light_.length(other));
        shared = overlap(a, other);
      }
      if (shared <= common) continue;
      if (shared >= t) {
        classes.unite(a, other);
        root = entry.root = classes.find(a);
      } else if (shared >= 2) {
        joined_.add(shared - 1, a, other);
      }
    }
    list[k].root = root;
  }
  // Gather the holders in the class of the first one at the front. The order
  // of the holders already active does not matter: only the new ones, always
  // at the end, are told apart by their place.
  const index_t leader = classes.find(list[0].set);
  for (index_t m = uniform; m < count; ++m)
    if ((list[m].root = classes.find(list[m].root)) == leader) std::swap(list[m], list[uniform++]);
  tick(count - uniform + 1);
}

}  // namespace korvane
