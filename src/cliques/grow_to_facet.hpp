// Growing a clique to a facet, a maximal clique that holds it: greedily, from
// candidates that stay the vertices adjacent to every member.
#pragma once

#include <cstddef>
#include <vector>

#include "bitsets.hpp"
#include "core.hpp"

namespace korvane {

// `candidates` starts as the vertices adjacent to every vertex of the clique;
// each take() removes one of them and keeps only the rest adjacent to it, so
// the clique stays a clique and ends maximal.
template <class Candidates>
void grow_to_maximal(std::vector<index_t>& clique, Candidates& candidates) {
  for (index_t x; candidates.take(x);) clique.push_back(x);
}

// Candidates on bitset rows of `words` words each, row r standing for vertex
// id_of(r): the AND of the clique's rows; a taken vertex ANDs its row in. The
// lowest candidate is taken first, so words before it stay empty.
template <class IdOf>
class RowCandidates {
 public:
  // Starts from row `first`; `bits` is scratch that outlives the growth.
  RowCandidates(const word_t* rows, std::size_t words, std::size_t first, std::vector<word_t>& bits, IdOf id_of)
      : rows_(rows), words_(words), bits_(bits), id_of_(id_of) {
    bits_.assign(row(first), row(first) + words_);
  }

  void intersect(std::size_t r) {
    const word_t* other = row(r);
    for (std::size_t k = word_; k < words_; ++k) bits_[k] &= other[k];
  }

  bool take(index_t& x) {
    for (; word_ < words_; ++word_) {
      if (bits_[word_] == 0) continue;
      const std::size_t r = 64 * word_ + lowest_bit(bits_[word_]);
      x = id_of_(r);
      intersect(r);
      return true;
    }
    return false;
  }

 private:
  const word_t* row(std::size_t r) const { return rows_ + r * words_; }

  const word_t* rows_;
  std::size_t words_;
  std::vector<word_t>& bits_;
  IdOf id_of_;
  std::size_t word_ = 0;
};

}  // namespace korvane
