// A plain, literal LZH encoder and tree kept beside the fast ones: byte by byte
// comparisons with every position taken modulo the ring size, full re-sums to the root
// after every swap, one bit at a time into a 16-bit buffer. The tests hold the coder's
// streams and the tree's updates against them.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace lzh_reference {

class Tree {
 public:
  Tree();
  void Update(int symbol);
  // The path from the root to the symbol's leaf, 0 for left and 1 for right.
  std::vector<int> Code(int symbol) const;

  int Left(int node) const { return left_[node]; }
  int Right(int node) const { return right_[node]; }
  int Parent(int node) const { return parent_[node]; }
  std::uint16_t Weight(int node) const { return weight_[node]; }

  // What the updates so far went through.
  int halvings = 0;
  int halvings_after_passing = 0;  // the root had gone past the limit and wrapped round
  int root_jumps = 0;              // the root went past the limit without landing on it
  int leaf_wraps = 0;
  int early_stops = 0;

 private:
  int Sibling(int node) const;
  void Resum(int node);

  std::array<int, 629> left_{};
  std::array<int, 629> right_{};
  std::array<int, 1258> parent_{};
  std::array<std::uint16_t, 1258> weight_{};
  bool passed_ = false;
};

std::vector<std::uint8_t> Encode(std::span<const std::uint8_t> input);

}  // namespace lzh_reference
