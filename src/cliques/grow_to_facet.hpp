// Growing a clique to a facet, a maximal clique that holds it, on bitset rows:
// greedily, from candidates that stay the vertices adjacent to every member.
#pragma once

#include <cstddef>

#include "bitsets.hpp"
#include "core.hpp"

namespace korvane {

// Rows of Words words each (`words` when Words is 0), row r standing for
// vertex r. `bits` starts as the vertices adjacent to every member of the
// clique (intersect() ANDs a member's row in); each take() moves the lowest
// candidate out and keeps only the rest adjacent to it, so the clique stays a
// clique, and it is maximal once take() fails. The words before the lowest
// candidate stay empty, and are skipped.
template <std::size_t Words = 0>
class RowCandidates {
 public:
  RowCandidates(const word_t* rows, std::size_t words, word_t* bits) : rows_(rows), words_(words), bits_(bits) {}

  void intersect(std::size_t r) {
    const word_t* row = rows_ + r * width();
    for (std::size_t k = word_; k < width(); ++k) bits_[k] &= row[k];
  }

  bool take(index_t& x) {
    for (; word_ < width(); ++word_) {
      if (bits_[word_] == 0) continue;
      const std::size_t r = 64 * word_ + lowest_bit(bits_[word_]);
      x = static_cast<index_t>(r);
      intersect(r);
      return true;
    }
    return false;
  }

 private:
  std::size_t width() const { return Words != 0 ? Words : words_; }

  const word_t* rows_;
  std::size_t words_;
  word_t* bits_;
  std::size_t word_ = 0;
};

}  // namespace korvane
