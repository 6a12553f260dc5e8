#include "facet_links.hpp"

#include <algorithm>

#include "grow_to_facet.hpp"
#include "row_cliques.hpp"

namespace korvane {

// Candidates on neighbour lists: the common neighbours of the clique, counted
// through the others' lists when that is cheap, else probed in the edge index;
// each taken vertex filters the rest through its list or by probes.
class FacetLinks::ListCandidates {
 public:
  ListCandidates(const GrowingGraph& graph, FacetLinks& links, const std::vector<index_t>& clique, Ticker& tick)
      : graph_(graph), mark_(links.mark_), extension_(links.extension_), tick_(tick) {
    const index_t scanned = *std::min_element(clique.begin(), clique.end(),
                                              [&](index_t a, index_t b) { return graph.degree(a) < graph.degree(b); });
    const index_t others = static_cast<index_t>(clique.size() - 1);
    std::size_t scan_cost = 0;
    for (const index_t y : clique)
      if (y != scanned) scan_cost += graph.degree(y);
    extension_.clear();
    if (scan_cost <= 4 * std::size_t{graph.degree(scanned)} * others) {
      std::vector<index_t>& marked = links.marked_;
      for (const index_t y : clique) {
        if (y == scanned) continue;
        for (const index_t* p = graph.neighbours_begin(y); p != graph.neighbours_end(y); ++p) {
          if (mark_[*p] == none) {
            mark_[*p] = 0;
            marked.push_back(*p);
          }
          ++mark_[*p];
        }
      }
      for (const index_t* p = graph.neighbours_begin(scanned); p != graph.neighbours_end(scanned); ++p)
        if (mark_[*p] == others) extension_.push_back(*p);
      for (const index_t p : marked) mark_[p] = none;
      marked.clear();
      tick(scan_cost);
    } else {
      for (const index_t* p = graph.neighbours_begin(scanned); p != graph.neighbours_end(scanned); ++p) {
        const bool joins = std::all_of(clique.begin(), clique.end(),
                                       [&](index_t y) { return y == scanned || graph.adjacent(*p, y); });
        if (joins) extension_.push_back(*p);
      }
      tick(std::size_t{graph.degree(scanned)} * others);
    }
  }

  bool take(index_t& x) {
    if (extension_.empty()) return false;
    x = extension_.back();
    extension_.pop_back();
    if (graph_.degree(x) <= 4 * extension_.size()) {
      for (const index_t* r = graph_.neighbours_begin(x); r != graph_.neighbours_end(x); ++r) mark_[*r] = 0;
      const auto off = [&](index_t r) { return mark_[r] == none; };
      extension_.erase(std::remove_if(extension_.begin(), extension_.end(), off), extension_.end());
      for (const index_t* r = graph_.neighbours_begin(x); r != graph_.neighbours_end(x); ++r)
        mark_[*r] = none;
      tick_(graph_.degree(x));
    } else {
      const auto off = [&](index_t r) { return !graph_.adjacent(r, x); };
      extension_.erase(std::remove_if(extension_.begin(), extension_.end(), off), extension_.end());
      tick_(extension_.size());
    }
    return true;
  }

 private:
  const GrowingGraph& graph_;
  std::vector<index_t>& mark_;
  std::vector<index_t>& extension_;
  Ticker& tick_;
};

template <class Link>
void FacetLinks::write_links(index_t u, index_t v, std::size_t core_length, std::uint64_t size_cap, Link&& link) {
  for (const index_t first : {u, v}) {
    if (first == u || core_length + 2 <= size_cap) link(first);
    links_.close_group();
  }
}

void FacetLinks::find(const GrowingGraph& graph, index_t u, index_t v, const EdgeCliques& cliques,
                      std::uint64_t size_cap, Ticker& tick) {
  links_.clear();
  const bool graph_rows = with_fixed_words<GrowingGraph::row_words_limit>(graph.row_words(), [&](auto width) {
    find_on_graph_rows<decltype(width)::value>(graph, u, v, cliques, size_cap, tick);
  });
  if (graph_rows) return;
  const std::vector<index_t>& common = cliques.common();
  const Groups<index_t>& cores = cliques.cores();
  std::size_t core_cost = 0;
  for (const index_t c : cores.items) core_cost += 2 * std::size_t{graph.degree(common[c])};
  // Building the rows reads every neighbour list of N(u) + N(v); stop
  // counting once that outweighs the core-by-core search.
  bool on_rows = core_cost > 0;
  std::size_t around_cost = 0;
  for (const index_t x : {u, v}) {
    for (const index_t* z = graph.neighbours_begin(x); on_rows && z != graph.neighbours_end(x); ++z) {
      around_cost += graph.degree(*z);
      on_rows = around_cost <= 2 * core_cost;
    }
  }
  if (on_rows) build_rows(graph, u, v, tick);
  for (std::size_t i = 0; i < cores.size(); ++i) {
    write_links(u, v, cores.length(i), size_cap, [&](index_t first) {
      clique_.assign(1, first);
      for (const index_t* c = cores.begin(i); c != cores.end(i); ++c) clique_.push_back(common[*c]);
      if (clique_.size() > 1) {
        if (on_rows) {
          const word_t* first_row = row(around_.size() + (first == v ? 1 : 0));
          row_candidates_.assign(first_row, first_row + words_);
          RowCandidates<> candidates(rows_.data(), words_, row_candidates_.data());
          for (std::size_t m = 1; m < clique_.size(); ++m) candidates.intersect(mark_[clique_[m]]);
          tick(clique_.size() * words_);
          for (index_t r; candidates.take(r);) clique_.push_back(around_[r]);
        } else {
          ListCandidates candidates(graph, *this, clique_, tick);
          for (index_t x; candidates.take(x);) clique_.push_back(x);
        }
        std::sort(clique_.begin(), clique_.end());
      }
      links_.items.insert(links_.items.end(), clique_.begin(), clique_.end());
    });
  }
  if (on_rows)
    for (const index_t z : around_) mark_[z] = none;
}

// On the graph's own rows the links are sets of W words: the vertices adjacent
// to all of a core are ANDed once for both links, and a link grows by taking
// its lowest candidate and ANDing that vertex's row in. Read out by word, a
// link comes out ascending.
template <std::size_t W>
void FacetLinks::find_on_graph_rows(const GrowingGraph& graph, index_t u, index_t v, const EdgeCliques& cliques,
                                    std::uint64_t size_cap, Ticker& tick) {
  const RowCliques<W> rows(graph.rows(), tick);
  const std::vector<index_t>& common = cliques.common();
  const Groups<index_t>& cores = cliques.cores();
  for (std::size_t i = 0; i < cores.size(); ++i) {
    if (cores.length(i) == 0) {  // the links are the lone vertices u and v
      write_links(u, v, 0, size_cap, [&](index_t first) { links_.items.push_back(first); });
      continue;
    }
    RowSet<W> core{};
    RowSet<W> around = rows.neighbours(common[*cores.begin(i)]);
    for (const index_t* c = cores.begin(i); c != cores.end(i); ++c) {
      add_vertex(core, common[*c]);
      around = rows.within_neighbours(around, common[*c]);
    }
    write_links(u, v, cores.length(i), size_cap, [&](index_t first) {
      RowSet<W> link = core;
      add_vertex(link, first);
      RowSet<W> candidates = rows.within_neighbours(around, first);
      RowCandidates<W> grow(graph.rows(), W, candidates.data());
      for (index_t x; grow.take(x);) add_vertex(link, x);
      for_each_vertex(link, [&](index_t x) { links_.items.push_back(x); });
    });
    tick(cores.length(i) * W + 2);
  }
}

// Z = N(u) + N(v) on local ids (held in mark_ until find() ends), each with
// its row of neighbours in Z; rows |Z| and |Z|+1 are N(u) and N(v).
void FacetLinks::build_rows(const GrowingGraph& graph, index_t u, index_t v, Ticker& tick) {
  around_.clear();
  for (const index_t x : {u, v})
    for (const index_t* z = graph.neighbours_begin(x); z != graph.neighbours_end(x); ++z)
      if (mark_[*z] == none) {
        mark_[*z] = static_cast<index_t>(around_.size());
        around_.push_back(*z);
      }
  const std::size_t size = around_.size();
  words_ = (size + 63) / 64;
  rows_.assign((size + 2) * words_, 0);
  for (std::size_t l = 0; l < size; ++l) {
    const index_t z = around_[l];
    word_t* bits = row(l);
    if (graph.degree(z) <= 4 * size) {
      for (const index_t* r = graph.neighbours_begin(z); r != graph.neighbours_end(z); ++r)
        if (mark_[*r] != none) set_bit(bits, mark_[*r]);
      tick(graph.degree(z));
    } else {
      for (std::size_t m = 0; m < size; ++m)
        if (graph.adjacent(z, around_[m])) set_bit(bits, m);
      tick(size);
    }
  }
  for (std::size_t side = 0; side < 2; ++side) {
    const index_t x = side == 0 ? u : v;
    word_t* bits = row(size + side);
    for (const index_t* z = graph.neighbours_begin(x); z != graph.neighbours_end(x); ++z)
      set_bit(bits, mark_[*z]);
  }
}

}  // namespace korvane
