#include "lz/lzh_tree.h"

namespace lz {

void AdaptiveTree::Reset() {
  static const AdaptiveTree initial(kInitialShape);  // built once, copied for every run
  *this = initial;
}

AdaptiveTree::AdaptiveTree(InitialShape) {
  for (int i = kRoot; i <= kLastInternal; ++i) {
    child_[2 * i] = static_cast<std::uint16_t>(2 * i);
    child_[2 * i + 1] = static_cast<std::uint16_t>(2 * i + 1);
  }
  for (int i = 2; i <= kNodes; ++i) {
    parent_[i] = static_cast<std::uint16_t>(i / 2);
    weight_[i] = 1;
  }
  parent_[kRoot] = 0;
  weight_[kRoot] = 0;
}

// By value, not by a branch on the side, which would mispredict half of the time.
int AdaptiveTree::Sibling(int node) const {
  const int p = parent_[node];
  return child_[2 * p] ^ child_[2 * p + 1] ^ node;
}

void AdaptiveTree::ReplaceChild(int parent, int old_child, int new_child) {
  child_[2 * parent + (child_[2 * parent] != old_child ? 1 : 0)] =
      static_cast<std::uint16_t>(new_child);
  parent_[new_child] = static_cast<std::uint16_t>(parent);
}

bool AdaptiveTree::ResumToRoot(int node) {
  std::uint16_t sum = weight_[node];
  for (int a = node; a != kRoot; a = parent_[a]) {
    sum = static_cast<std::uint16_t>(sum + weight_[Sibling(a)]);
    weight_[parent_[a]] = sum;
  }
  return HalveAtLimit();
}

bool AdaptiveTree::HalveAtLimit() {
  if (weight_[kRoot] != kWeightLimit) return false;
  for (int i = kRoot; i <= kNodes; ++i) weight_[i] = static_cast<std::uint16_t>(weight_[i] >> 1);
  return true;
}

void AdaptiveTree::Update(int symbol) {
  std::array<std::uint16_t, kLastInternal + 1> down;
  int top = kLastInternal;
  for (int node = LeafOf(symbol); node != kRoot; node = parent_[node]) {
    down[top--] = static_cast<std::uint16_t>(node);
  }
  down[top] = kRoot;
  UpdateOnPath(&down[top], kLastInternal - top);
}

void AdaptiveTree::UpdateOnPath(const std::uint16_t* down, int depth) {
  const int leaf = down[depth];
  weight_[leaf] = static_cast<std::uint16_t>(weight_[leaf] + 1);
  if (depth == 1) return;  // the leaf's parent is the root

  std::uint16_t sum = weight_[leaf];
  for (int i = depth; i > 0; --i) {
    const int a = down[i];
    const int p = down[i - 1];
    sum = static_cast<std::uint16_t>(sum + weight_[child_[2 * p] ^ child_[2 * p + 1] ^ a]);
    weight_[p] = sum;
  }
  // Without a halving every node on the path holds the sum of its children, and a swap of
  // x with its uncle changes only p's and g's sums; after one, each swap re-sums to the root.
  bool sums_hold = !HalveAtLimit();

  // x walks up the path whether or not it swaps: swaps below never move a node of the path
  // above them.
  for (int i = depth; i >= 2; --i) {
    const int x = down[i];
    const int p = down[i - 1];
    const int g = down[i - 2];
    const int u = child_[2 * g] ^ child_[2 * g + 1] ^ p;
    if (weight_[u] < weight_[x]) {
      ReplaceChild(g, u, x);
      ReplaceChild(p, x, u);
      if (sums_hold) {
        weight_[p] = static_cast<std::uint16_t>(weight_[u] + weight_[Sibling(u)]);
        weight_[g] = static_cast<std::uint16_t>(weight_[p] + weight_[x]);
      } else {
        sums_hold = !ResumToRoot(u);
      }
    }
  }
}

}  // namespace lz
