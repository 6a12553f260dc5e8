// Checks of the kernels that several parts of the core share: the pairs by
// level, the clique registry, growing a clique on bitset rows and the bit
// helpers; and of the levels' overlap forest. Run by `graph_core_check kernels`.
#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

#include "check.hpp"
#include "bitsets.hpp"
#include "clique_registry.hpp"
#include "dsu.hpp"
#include "grow_to_facet.hpp"
#include "hash_index.hpp"
#include "overlap_forest.hpp"
#include "pairs_by_level.hpp"

using namespace korvane;

namespace {

// splitmix64, for reproducible rows.
struct Random {
  std::uint64_t state;
  std::uint64_t next() { return scramble(state++); }
};

index_t shared(const std::vector<BitRow>& rows, index_t a, index_t b) {
  std::size_t count = 0;
  for (std::size_t w = 0; w < row_words; ++w) count += popcount64(rows[a].words[w] & rows[b].words[w]);
  return static_cast<index_t>(count);
}

// A maximum spanning forest: count-1 pairs, each weighing the overlap of its
// rows, that at every threshold connect what all pairs of that weight connect.
void check_spans(const std::vector<BitRow>& rows, const std::vector<WeightedPair>& forest) {
  const index_t count = static_cast<index_t>(rows.size());
  CHECK(forest.size() + 1 == count);
  for (const WeightedPair& p : forest) CHECK(p.weight == shared(rows, p.a, p.b));
  for (index_t threshold = 0; threshold <= 64 * row_words; ++threshold) {
    Dsu by_forest(count), by_all(count);
    for (const WeightedPair& p : forest)
      if (p.weight >= threshold) by_forest.unite(p.a, p.b);
    for (index_t a = 0; a < count; ++a)
      for (index_t b = a + 1; b < count; ++b)
        if (shared(rows, a, b) >= threshold) by_all.unite(a, b);
    bool same = true;
    for (index_t a = 0; a < count; ++a)
      for (index_t b = a + 1; b < count; ++b)
        same = same && (by_forest.find(a) == by_forest.find(b)) == (by_all.find(a) == by_all.find(b));
    CHECK(same);
  }
}

// Sparse random rows over their first `used` words, the rest left empty, so
// that the forest weighs fewer words.
std::vector<BitRow> random_rows(Random& random, std::size_t count, std::size_t used) {
  std::vector<BitRow> rows(count, BitRow{{0, 0, 0}});
  for (BitRow& row : rows)
    for (std::size_t w = 0; w < used; ++w) row.words[w] = random.next() & random.next() & random.next();
  return rows;
}

void overlap_forest() {
  Random random{1};
  OverlapForest forest;
  Ticker tick;
  for (std::size_t used = 1; used <= row_words; ++used) {
    for (const std::size_t count : {0, 1, 2, 9, 40}) {
      const std::vector<BitRow> rows = random_rows(random, count, used);
      std::vector<WeightedPair> pairs;
      std::uint64_t unlimited = ~std::uint64_t{0};
      CHECK(forest.tie(rows, pairs, unlimited, tick));
      if (count >= 2) check_spans(rows, pairs);
      else CHECK(pairs.empty());
    }
  }
}

void overlap_forest_of_distinct_rows() {
  Random random{2};
  OverlapForest forest;
  Ticker tick;
  // 12 rows, 4 distinct: the equal ones are chained, the distinct ones spanned.
  const std::vector<BitRow> distinct = random_rows(random, 4, 2);
  std::vector<BitRow> rows;
  for (std::size_t k = 0; k < 12; ++k) rows.push_back(distinct[k * 7 % 4]);
  // 4 distinct rows weigh 6 pairs: a budget of 5 is left as it was.
  std::uint64_t budget = 5;
  std::vector<WeightedPair> pairs;
  CHECK(!forest.tie(rows, pairs, budget, tick) && budget == 5);
  budget = 10;
  pairs.clear();
  CHECK(forest.tie(rows, pairs, budget, tick) && budget == 4);
  check_spans(rows, pairs);
}

void pairs_by_level() {
  PairsByLevel pairs(3);
  pairs.add_shared(1, 0, 1);  // level 0
  pairs.add_shared(3, 2, 3);  // level 2, the top
  pairs.add_shared(7, 4, 5);  // past the top: the top
  pairs.add(1, 6, 7);
  CHECK(pairs.end(0) - pairs.begin(0) == 1 && pairs.begin(0)->a == 0 && pairs.begin(0)->b == 1);
  CHECK(pairs.end(2) - pairs.begin(2) == 2 && pairs.begin(2)[1].a == 4);
  CHECK(pairs.begin(3) == pairs.end(3) && pairs.begin(99) == pairs.end(99));  // no level past the top
  const std::vector<IdPair> taken = pairs.take(1);
  CHECK(taken.size() == 1 && taken[0].a == 6 && pairs.begin(1) == pairs.end(1));

  Dsu classes(8);
  pairs.unite(2, classes);
  CHECK(classes.find(2) == classes.find(3) && classes.find(4) == classes.find(5));
  CHECK(classes.find(0) != classes.find(1) && pairs.begin(2) == pairs.end(2));

  pairs.reset(2);
  CHECK(pairs.level_count() == 2 && pairs.begin(0) == pairs.end(0) && pairs.begin(2) == pairs.end(2));
  pairs.add_shared(5, 1, 2);
  CHECK(pairs.end(1) - pairs.begin(1) == 1);
}

void clique_registry() {
  CliqueRegistry<index_t> registry;
  const std::vector<index_t> abc{1, 2, 3};
  const auto at = [](const std::vector<index_t>& v) { return [&v](std::size_t j) { return v[j]; }; };
  CHECK(registry.find(42, 3, at(abc)) == none);
  CHECK(registry.add(42, 3, at(abc)) == 0);
  CHECK(registry.find(42, 3, at(abc)) == 0);
  // The same hash does not make a match: another list, or a shorter one.
  const std::vector<index_t> abd{1, 2, 4};
  CHECK(registry.find(42, 3, at(abd)) == none && registry.find(42, 2, at(abc)) == none);
  CHECK(registry.add(42, 3, at(abd)) == 1 && registry.find(42, 3, at(abd)) == 1);
  CHECK(registry.add(7, 2, at(abc)) == 2 && registry.find(7, 2, at(abc)) == 2 && registry.size() == 3);
  CHECK(registry.end(2) - registry.begin(2) == 2 && registry.begin(1)[2] == 4);
  // A second index over the same ids finds only what was put in it.
  HashIndex near;
  CHECK(registry.find(near, 42, 3, at(abd)) == none);
  near.insert(42, 1);
  CHECK(registry.find(near, 42, 3, at(abd)) == 1 && registry.find(near, 42, 3, at(abc)) == none);
  CHECK(registry.take_items() == (std::vector<index_t>{1, 2, 3, 1, 2, 4, 1, 2}));
}

// Grows {start} to a maximal clique of the graph held as rows of `words` words.
template <std::size_t Words>
std::vector<index_t> grown(const std::vector<word_t>& rows, std::size_t words, index_t start) {
  std::vector<word_t> candidates(rows.begin() + start * words, rows.begin() + (start + 1) * words);
  RowCandidates<Words> grow(rows.data(), words, candidates.data());
  std::vector<index_t> clique{start};
  for (index_t x; grow.take(x);) clique.push_back(x);
  return clique;
}

void growing_on_rows() {
  // 130 vertices, three words: below 120, v and w are adjacent when they are
  // equal mod 3; 120 .. 129 are adjacent to all. The maximal cliques are the
  // residue classes with 120 .. 129.
  const index_t n = 130;
  const std::size_t words = 3;
  const auto adjacent = [](index_t v, index_t w) { return v != w && (v >= 120 || w >= 120 || v % 3 == w % 3); };
  std::vector<word_t> rows(n * words, 0);
  for (index_t v = 0; v < n; ++v)
    for (index_t w = 0; w < n; ++w)
      if (adjacent(v, w)) set_bit(rows.data() + v * words, w);
  for (const index_t start : {0u, 7u, 65u, 125u}) {
    std::vector<index_t> clique = grown<0>(rows, words, start);
    CHECK(clique == (grown<3>(rows, words, start)));
    std::sort(clique.begin(), clique.end());
    // From a hub, the lowest candidate, 0, picks the class.
    std::vector<index_t> expected;
    for (index_t v = 0; v < n; ++v)
      if (v >= 120 || v % 3 == (start >= 120 ? 0 : start % 3)) expected.push_back(v);
    CHECK(clique == expected);
  }
}

void bit_helpers() {
  std::vector<word_t> bits(3, 0);
  set_bit(bits.data(), 0);
  set_bit(bits.data(), 64);
  set_bit(bits.data(), 191);
  CHECK(bits[0] == 1 && bits[1] == 1 && bits[2] == word_t{1} << 63);
  CHECK(popcount64(0) == 0 && popcount64(~word_t{0}) == 64 && popcount64(0x8000000000000001ULL) == 2);
  CHECK(lowest_bit(word_t{1} << 40) == 40 && lowest_bit(6) == 1);
  for (std::size_t words = 0; words <= 5; ++words) {
    std::size_t seen = 0;
    const bool fixed = with_fixed_words<4>(words, [&](auto width) { seen = decltype(width)::value; });
    CHECK(fixed == (words >= 1 && words <= 4) && seen == (fixed ? words : 0));
  }
}

}  // namespace

int run_kernel_checks() {
  overlap_forest();
  overlap_forest_of_distinct_rows();
  pairs_by_level();
  clique_registry();
  growing_on_rows();
  bit_helpers();
  if (checks::failures() != 0) return 1;
  std::puts("ok");
  return 0;
}
