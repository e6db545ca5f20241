#include "lzss_reference.h"

#include <memory>

namespace lzss_reference {
namespace {

constexpr std::uint32_t N = 4096;
constexpr std::uint32_t F = 18;
constexpr std::uint32_t THRESHOLD = 2;
constexpr std::uint32_t NIL = N;
constexpr std::uint32_t kFirstRoot = N + 1;
constexpr std::uint32_t kSplayDepth = 30;

class Encoder {
 public:
  Encoder(std::span<const std::uint8_t> input, bool with_splay)
      : input_(input), with_splay_(with_splay) {}

  Encoded Run() {
    for (std::uint32_t i = 0; i <= N; ++i) dad_[i] = NIL;
    for (std::uint32_t i = kFirstRoot; i < kFirstRoot + 256; ++i) rson_[i] = NIL;
    std::uint8_t group[17] = {};
    std::uint32_t fill = 1;
    std::uint8_t mask = 1;
    std::uint32_t s = 0;
    std::uint32_t r = N - F;
    std::uint32_t len = 0;
    std::uint8_t v = 0;
    while (len < F && ReadByte(v)) text_[r + len++] = v;
    if (len == 0) return std::move(out_);
    for (std::uint32_t i = 1; i <= F; ++i) Insert(r - i);
    Insert(r);
    do {
      if (match_length_ > len) match_length_ = len;
      if (match_length_ <= THRESHOLD) {
        match_length_ = 1;
        group[0] |= mask;
        group[fill++] = text_[r];
      } else {
        group[fill++] = static_cast<std::uint8_t>(match_position_ & 255);
        group[fill++] =
            static_cast<std::uint8_t>(((match_position_ >> 8) << 4) + (match_length_ - 3));
      }
      mask = static_cast<std::uint8_t>(mask << 1);
      if (mask == 0) {
        out_.stream.insert(out_.stream.end(), group, group + fill);
        group[0] = 0;
        fill = 1;
        mask = 1;
      }
      const std::uint32_t last = match_length_;
      std::uint32_t i = 0;
      for (; i < last && ReadByte(v); ++i) {
        Delete(s);
        text_[s] = v;
        if (s < F - 1) text_[s + N] = v;
        s = (s + 1) & (N - 1);
        r = (r + 1) & (N - 1);
        Insert(r);
      }
      for (; i < last; ++i) {
        Delete(s);
        s = (s + 1) & (N - 1);
        r = (r + 1) & (N - 1);
        if (--len != 0) Insert(r);
      }
    } while (len != 0);
    out_.stream.insert(out_.stream.end(), group, group + fill);
    return std::move(out_);
  }

 private:
  bool ReadByte(std::uint8_t& v) {
    if (pos_ >= input_.size()) return false;
    v = input_[pos_++];
    return true;
  }

  void Insert(std::uint32_t r) {
    int cmp = 1;
    std::uint32_t p = kFirstRoot + text_[r];
    rson_[r] = lson_[r] = NIL;
    match_length_ = 0;
    std::uint32_t lookups = 0;
    for (;;) {
      ++lookups;
      if (cmp >= 0) {
        if (rson_[p] != NIL) {
          p = rson_[p];
        } else {
          rson_[p] = r;
          dad_[r] = p;
          break;
        }
      } else {
        if (lson_[p] != NIL) {
          p = lson_[p];
        } else {
          lson_[p] = r;
          dad_[r] = p;
          break;
        }
      }
      std::uint32_t i = 1;
      for (; i < F; ++i) {
        cmp = static_cast<int>(text_[r + i]) - static_cast<int>(text_[p + i]);
        if (cmp != 0) break;
      }
      if (i == F) cmp = 0;
      if (i > match_length_) {
        match_position_ = p;
        match_length_ = i;
        if (i >= F) {
          dad_[r] = dad_[p];
          lson_[r] = lson_[p];
          rson_[r] = rson_[p];
          dad_[lson_[p]] = r;
          dad_[rson_[p]] = r;
          if (rson_[dad_[p]] == p) {
            rson_[dad_[p]] = r;
          } else {
            lson_[dad_[p]] = r;
          }
          dad_[p] = NIL;
          break;
        }
      }
    }
    if (with_splay_ && lookups >= kSplayDepth) {
      ++out_.splays;
      Splay(r);
    }
  }

  void Splay(std::uint32_t x) {
    for (;;) {
      const std::uint32_t p = dad_[x];
      if (p > N) return;
      const std::uint32_t g = dad_[p];
      if (g > N) {
        if (lson_[p] == x) {
          lson_[p] = rson_[x];
          rson_[x] = p;
          dad_[lson_[p]] = p;
        } else {
          rson_[p] = lson_[x];
          lson_[x] = p;
          dad_[rson_[p]] = p;
        }
        rson_[g] = x;
        dad_[p] = x;
        dad_[x] = g;
        return;
      }
      const std::uint32_t gg = dad_[g];
      if (lson_[p] == x && lson_[g] == p) {
        lson_[g] = rson_[p];
        lson_[p] = rson_[x];
        rson_[p] = g;
        rson_[x] = p;
        dad_[lson_[g]] = g;
        dad_[lson_[p]] = p;
        dad_[g] = p;
        dad_[p] = x;
      } else if (rson_[p] == x && rson_[g] == p) {
        rson_[g] = lson_[p];
        rson_[p] = lson_[x];
        lson_[p] = g;
        lson_[x] = p;
        dad_[rson_[g]] = g;
        dad_[rson_[p]] = p;
        dad_[g] = p;
        dad_[p] = x;
      } else if (rson_[p] == x && lson_[g] == p) {
        lson_[g] = rson_[x];
        rson_[p] = lson_[x];
        rson_[x] = g;
        lson_[x] = p;
        dad_[lson_[g]] = g;
        dad_[rson_[p]] = p;
        dad_[p] = x;
        dad_[g] = x;
      } else {
        rson_[g] = lson_[x];
        lson_[p] = rson_[x];
        lson_[x] = g;
        rson_[x] = p;
        dad_[rson_[g]] = g;
        dad_[lson_[p]] = p;
        dad_[p] = x;
        dad_[g] = x;
      }
      if (gg > N) {
        rson_[gg] = x;
      } else if (lson_[gg] == g) {
        lson_[gg] = x;
      } else {
        rson_[gg] = x;
      }
      dad_[x] = gg;
    }
  }

  void Delete(std::uint32_t p) {
    if (dad_[p] == NIL) return;
    std::uint32_t q;
    if (rson_[p] == NIL) {
      q = lson_[p];
    } else if (lson_[p] == NIL) {
      q = rson_[p];
    } else {
      q = lson_[p];
      if (rson_[q] != NIL) {
        do {
          q = rson_[q];
        } while (rson_[q] != NIL);
        rson_[dad_[q]] = lson_[q];
        dad_[lson_[q]] = dad_[q];
        lson_[q] = lson_[p];
        dad_[lson_[p]] = q;
      }
      rson_[q] = rson_[p];
      dad_[rson_[p]] = q;
    }
    dad_[q] = dad_[p];
    if (rson_[dad_[p]] == p) {
      rson_[dad_[p]] = q;
    } else {
      lson_[dad_[p]] = q;
    }
    dad_[p] = NIL;
  }

  std::span<const std::uint8_t> input_;
  std::size_t pos_ = 0;
  bool with_splay_;
  Encoded out_;
  std::uint8_t text_[N + F - 1] = {};
  std::uint32_t lson_[N + 1] = {};
  std::uint32_t rson_[N + 257] = {};
  std::uint32_t dad_[N + 1] = {};
  std::uint32_t match_position_ = 0;
  std::uint32_t match_length_ = 0;
};

}  // namespace

Encoded Encode(std::span<const std::uint8_t> input, bool with_splay) {
  auto encoder = std::make_unique<Encoder>(input, with_splay);
  return encoder->Run();
}

std::vector<std::uint8_t> Decode(std::span<const std::uint8_t> stream) {
  std::vector<std::uint8_t> out;
  std::uint8_t text[N] = {};
  std::uint32_t r = N - F;
  std::uint32_t flags = 0;
  std::size_t pos = 0;
  for (;;) {
    flags >>= 1;
    if ((flags & 0xFF00) == 0) {
      if (pos >= stream.size()) break;
      flags = stream[pos++] | 0xFF00u;
    }
    if (pos >= stream.size()) break;
    const std::uint32_t v = stream[pos++];
    if (flags & 1) {
      out.push_back(static_cast<std::uint8_t>(v));
      text[r] = static_cast<std::uint8_t>(v);
      r = (r + 1) & (N - 1);
      continue;
    }
    if (pos >= stream.size()) break;
    const std::uint32_t j = stream[pos++];
    const std::uint32_t position = v + ((j >> 4) << 8);
    const std::uint32_t count = (j & 15) + THRESHOLD + 1;
    for (std::uint32_t k = 0; k < count; ++k) {
      const std::uint8_t b = text[(position + k) & (N - 1)];
      out.push_back(b);
      text[r] = b;
      r = (r + 1) & (N - 1);
    }
  }
  return out;
}

}  // namespace lzss_reference
