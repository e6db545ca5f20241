#include "lzh_reference.h"

namespace lzh_reference {
namespace {

constexpr int N = 21903;

struct Class {
  int first;
  int last;
  int bits;
};
constexpr Class kClasses[6] = {{0, 15, 4},      {16, 79, 6},      {80, 335, 8},
                               {336, 1359, 10}, {1360, 5455, 12}, {5456, 21839, 14}};

class Encoder {
 public:
  explicit Encoder(std::span<const std::uint8_t> input) : input_(input) {
    head_.fill(-1);
    ring_.fill(0);
  }

  std::vector<std::uint8_t> Run() {
    for (int i = 0; i < 3; ++i) {
      if (!ByteLeft()) return Finish();
      const std::uint8_t v = NextByte();
      Send(v);
      ring_[i] = v;
    }
    fill_ = 3;
    for (int i = 0; i < 64 && ByteLeft(); ++i) {
      const std::uint8_t v = NextByte();
      ring_[fill_] = v;
      ++fill_;
      if (v > 127) binary_ = true;
    }
    const int limit1 = binary_ ? 20 : 50;
    const int limit2 = binary_ ? 200 : 1000;
    int coding = 3;
    int insertion = 0;
    int skip = 0;
    bool skipping = false;
    bool wrapped = false;
    while (coding != fill_) {
      if (wrapped) {
        const int h = Hash(fill_);
        if (head_[h] == tail_[h]) {
          head_[h] = -1;
        } else {
          const int t = newer_[tail_[h]];
          tail_[h] = t;
          older_[t] = -1;
        }
      }
      const int h = Hash(insertion);
      if (head_[h] == -1) {
        tail_[h] = insertion;
      } else {
        newer_[head_[h]] = insertion;
      }
      older_[insertion] = head_[h];
      newer_[insertion] = -1;
      head_[h] = insertion;
      if (skipping) {
        --skip;
        if (skip == 1) skipping = false;
      } else {
        const int m1 = FindMatch(coding + 1, limit1);
        const int m = FindMatch(coding, limit2);
        skip = m;
        if (m < 3 || m1 > m) {
          Send(ring_[coding]);
        } else {
          skipping = true;
          int c = 0;
          while (kClasses[c].last < distance_) ++c;
          Send(254 + m + 62 * c);
          const int extra = distance_ - kClasses[c].first;
          for (int b = 0; b < kClasses[c].bits; ++b) PutBit((extra >> b) & 1);
        }
      }
      coding = (coding + 1) % N;
      insertion = (insertion + 1) % N;
      if (!ByteLeft()) {
        wrapped = false;
      } else {
        ring_[fill_] = NextByte();
        ++fill_;
        if (fill_ == N) {
          fill_ = 0;
          wrapped = true;
        }
      }
    }
    return Finish();
  }

 private:
  bool ByteLeft() const { return next_ < input_.size(); }
  std::uint8_t NextByte() { return input_[next_++]; }

  int Hash(int p) const {
    return (ring_[(p + 1) % N] << 4) ^ ring_[p] ^ ((ring_[(p + 2) % N] << 8) & 0x3FFF);
  }

  int FindMatch(int pos, int limit) {
    if (pos == N) pos = 0;
    int best = 0;
    const int reach = binary_ ? 5455 : 1359;
    int walked = 0;
    for (int q = head_[Hash(pos)]; q != -1 && walked < limit; q = older_[q], ++walked) {
      if (ring_[(pos + best) % N] != ring_[(q + best) % N]) continue;
      int k = 0;
      while (ring_[(pos + k) % N] == ring_[(q + k) % N] && k < 64 && (q + k) % N != pos &&
             (pos + k) % N != fill_) {
        ++k;
      }
      const int e = (pos - q + N) % N - k;
      if (k > best && e <= 21839 && (k > 3 || e <= reach)) {
        best = k;
        distance_ = e;
      }
    }
    return best;
  }

  void Send(int symbol) {
    for (int bit : tree_.Code(symbol)) PutBit(bit);
    tree_.Update(symbol);
  }

  void PutBit(int bit) {
    buffer_ = static_cast<std::uint16_t>((buffer_ << 1) | bit);
    if (++bits_ == 16) {
      Store();
      bits_ = 0;
    }
  }

  void Store() {
    stream_.push_back(static_cast<std::uint8_t>(buffer_ & 0xFF));
    stream_.push_back(static_cast<std::uint8_t>(buffer_ >> 8));
  }

  std::vector<std::uint8_t> Finish() {
    Send(256);
    if (bits_ > 0) {
      buffer_ = static_cast<std::uint16_t>(buffer_ << (16 - bits_));
      Store();
    }
    return stream_;
  }

  std::span<const std::uint8_t> input_;
  std::size_t next_ = 0;
  Tree tree_;
  std::array<std::uint8_t, N> ring_;
  std::array<int, 16384> head_;
  std::array<int, 16384> tail_{};
  std::array<int, N> newer_{};
  std::array<int, N> older_{};
  int fill_ = 0;
  bool binary_ = false;
  int distance_ = 0;
  std::uint16_t buffer_ = 0;
  int bits_ = 0;
  std::vector<std::uint8_t> stream_;
};

}  // namespace

Tree::Tree() {
  for (int i = 1; i <= 628; ++i) {
    left_[i] = 2 * i;
    right_[i] = 2 * i + 1;
  }
  for (int i = 2; i <= 1257; ++i) {
    parent_[i] = i / 2;
    weight_[i] = 1;
  }
}

int Tree::Sibling(int a) const {
  return left_[parent_[a]] == a ? right_[parent_[a]] : left_[parent_[a]];
}

void Tree::Resum(int x) {
  const std::uint16_t old_root = weight_[1];
  int a = x;
  int b = Sibling(a);
  do {
    weight_[parent_[a]] = static_cast<std::uint16_t>(weight_[a] + weight_[b]);
    a = parent_[a];
    if (a != 1) b = Sibling(a);
  } while (a != 1);
  if (old_root < 2000 && weight_[1] > 2000) {
    ++root_jumps;
    passed_ = true;
  }
  if (weight_[1] == 2000) {
    ++halvings;
    if (passed_) ++halvings_after_passing;
    passed_ = false;
    for (int i = 1; i <= 1257; ++i) weight_[i] = static_cast<std::uint16_t>(weight_[i] / 2);
  }
}

void Tree::Update(int s) {
  int x = 629 + s;
  weight_[x] = static_cast<std::uint16_t>(weight_[x] + 1);
  if (weight_[x] == 0) ++leaf_wraps;
  if (parent_[x] == 1) {
    ++early_stops;
    return;
  }
  Resum(x);
  int p = parent_[x];
  do {
    const int g = parent_[p];
    const int u = left_[g] == p ? right_[g] : left_[g];
    if (weight_[u] < weight_[x]) {
      (left_[g] == u ? left_[g] : right_[g]) = x;
      (left_[p] == x ? left_[p] : right_[p]) = u;
      parent_[x] = g;
      parent_[u] = p;
      Resum(u);
      x = u;
    }
    x = parent_[x];
    p = parent_[x];
  } while (p != 1);
}

std::vector<int> Tree::Code(int symbol) const {
  std::vector<int> code;
  for (int node = 629 + symbol; node != 1; node = parent_[node]) {
    code.insert(code.begin(), right_[parent_[node]] == node ? 1 : 0);
  }
  return code;
}

std::vector<std::uint8_t> Encode(std::span<const std::uint8_t> input) {
  return Encoder(input).Run();
}

}  // namespace lzh_reference
