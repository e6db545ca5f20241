// The adaptive Huffman tree of the LZH coder. 629 symbols (bytes, 256 end of data,
// 257..628 matches) are the leaves 629 + s of nodes 1..1257, node 1 the root. Weights are
// 16-bit and wrap; stored streams depend on every detail of Update.
#pragma once

#include <array>
#include <cstdint>

namespace lz {

class AdaptiveTree {
 public:
  static constexpr int kSymbols = 629;
  static constexpr int kEndSymbol = 256;
  static constexpr int kRoot = 1;
  static constexpr int kLastInternal = 628;
  static constexpr int kNodes = 1257;
  static constexpr std::uint16_t kWeightLimit = 2000;  // a root of exactly this halves all

  AdaptiveTree() { Reset(); }

  // Node i has children 2i and 2i + 1; every weight is 1, the root's 0.
  void Reset();

  // Counts one more occurrence of symbol (0..628) and reshapes the tree; OnPath for a
  // caller that has walked the path: down[0] the root, down[depth] the leaf.
  void Update(int symbol);
  void UpdateOnPath(const std::uint16_t* down, int depth);

  static constexpr int LeafOf(int symbol) { return kLastInternal + 1 + symbol; }
  static constexpr bool IsLeaf(int node) { return node > kLastInternal; }
  static constexpr int SymbolOf(int leaf) { return leaf - kLastInternal - 1; }

  // bit 0 is the left child, 1 the right child of internal node 1..628.
  int Child(int node, int bit) const { return child_[2 * node + bit]; }
  int Parent(int node) const { return parent_[node]; }  // 0 for the root
  bool IsRightChild(int node) const { return child_[2 * parent_[node] + 1] == node; }
  std::uint16_t Weight(int node) const { return weight_[node]; }
  void SetWeight(int node, std::uint16_t weight) { weight_[node] = weight; }

 private:
  int Sibling(int node) const;
  void ReplaceChild(int parent, int old_child, int new_child);
  bool ResumToRoot(int node);  // from node's parent up, then HalveAtLimit
  bool HalveAtLimit();         // whether it halved every weight

  enum InitialShape { kInitialShape };
  explicit AdaptiveTree(InitialShape);

  std::array<std::uint16_t, 2 * (kLastInternal + 1)> child_{};
  std::array<std::uint16_t, kNodes + 1> parent_{};
  std::array<std::uint16_t, kNodes + 1> weight_{};
};

}  // namespace lz
