#include "lz/lzss.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <utility>

namespace lz {
namespace {

constexpr std::uint32_t N = 4096;        // ring window size
constexpr std::uint32_t F = 18;          // longest match, look-ahead length
constexpr std::uint32_t THRESHOLD = 2;   // matches this short or shorter go as literals
constexpr std::uint32_t NIL = N;         // absent node; its parent entry is scratch
constexpr std::uint32_t kFirstRoot = N + 1;  // root slot of first byte b: kFirstRoot + b
constexpr std::uint32_t kSplayDepth = 30;    // look-ups that make an insertion splay
constexpr std::uint32_t kWindowStart = N - F;
constexpr std::uint32_t kNodeCount = kFirstRoot + 256;
constexpr std::uint32_t kMaxGroupBytes = 1 + 8 * 2;
constexpr std::uint32_t kMaxGroupOutput = 8 * F;

// Bytes N..N+F-2 mirror 0..F-2 so an 18-byte string never wraps. The comparisons read
// 8 bytes at a time up to 7 bytes past a string's end, hence the tail.
constexpr std::uint32_t kWindowBytes = N + F - 1;
constexpr std::uint32_t kWindowTail = 16;

// 16-bit links keep a node in 8 bytes, so the whole forest sits in the first-level cache.
struct Node {
  std::uint16_t child[2];  // left, right
  std::uint16_t parent;
  std::uint16_t unused;
};

struct TreeArea {
  std::uint8_t window[kWindowBytes + kWindowTail];
  Node node[kNodeCount];
  std::uint8_t group[kMaxGroupBytes];
};

struct InputArea {
  std::uint8_t block[kBlockSize];
};

// The decoder keeps the last N bytes written in front of the block, so that matches copy
// straight from the output; the tail absorbs the items that run past a full block.
struct OutputArea {
  std::uint8_t bytes[N + kBlockSize + kMaxGroupOutput + 16];
  std::uint8_t* history() { return bytes; }
  std::uint8_t* block() { return bytes + N; }
};

struct Engine {
  std::optional<std::uint8_t> mode;
  bool areas_held = false;
  bool areas_on_demand = false;  // acquired by a set-up rather than by LZBegin(1)
  bool lzh_busy = false;
  std::unique_ptr<InputArea> input;
  std::unique_ptr<OutputArea> output;
  std::unique_ptr<TreeArea> tree;

  ReadBlockHook read_block;
  WriteBlockHook write_block;
  std::uint32_t read_pos = kBlockSize;
  std::uint32_t read_count = kBlockSize;
  bool input_ended = false;
  std::uint32_t write_pos = 0;

  std::uint32_t match_position = 0;
  std::uint32_t match_length = 0;
  std::uint32_t lookups = 0;
  std::uint32_t last_length = 0;
  std::uint32_t splays = 0;

  int fail_countdown = 0;
};

// The engine's process-wide state: one operation at a time.
Engine engine;

template <typename Area>
std::unique_ptr<Area> AcquireArea() {
  if (engine.fail_countdown > 0 && --engine.fail_countdown == 0) throw std::bad_alloc();
  return std::make_unique_for_overwrite<Area>();
}

void ReleaseAreas() {
  engine.input.reset();
  engine.output.reset();
  engine.tree.reset();
  engine.areas_held = false;
  engine.areas_on_demand = false;
}

bool AcquireAreas() {
  try {
    engine.input = AcquireArea<InputArea>();
    engine.output = AcquireArea<OutputArea>();
    engine.tree = AcquireArea<TreeArea>();
  } catch (const std::bad_alloc&) {
    ReleaseAreas();
    return false;
  }
  engine.areas_held = true;
  return true;
}

bool EnsureAreas() {
  if (engine.areas_held) return true;
  if (!AcquireAreas()) return false;
  engine.areas_on_demand = true;
  return true;
}

void ResetBlocks() {
  engine.read_pos = kBlockSize;
  engine.read_count = kBlockSize;
  engine.input_ended = false;
  engine.write_pos = 0;
}

// ---- byte input and block output ----

// Refills the input block; false once the input is exhausted, after which ReadBlock is
// never called again in this run.
bool RefillInput() {
  if (engine.input_ended) return false;
  engine.read_count = engine.read_block(std::span<std::uint8_t>(engine.input->block, kBlockSize));
  if (engine.read_count > kBlockSize) engine.read_count = kBlockSize;
  if (engine.read_count == 0) {
    engine.input_ended = true;
    return false;
  }
  engine.read_pos = 0;
  return true;
}

inline bool ReadByte(std::uint8_t& v) {
  if (engine.read_pos >= engine.read_count && !RefillInput()) return false;
  v = engine.input->block[engine.read_pos++];
  return true;
}

void WriteBlock(std::uint32_t count) {
  engine.write_block(std::span<const std::uint8_t>(engine.output->block(), count));
}

// Hands on every full block in front of position `end` of the output block; the bytes
// beyond move to the front. The decoder's history follows the output.
std::uint32_t DrainFullBlocks(std::uint32_t end) {
  OutputArea& out = *engine.output;
  while (end >= kBlockSize) {
    WriteBlock(kBlockSize);
    std::memcpy(out.history(), out.block() + kBlockSize - N, N);
    end -= kBlockSize;
    std::memmove(out.block(), out.block() + kBlockSize, end);
  }
  return end;
}

void FlushOutput(std::uint32_t end) {
  end = DrainFullBlocks(end);
  WriteBlock(end);
  engine.write_pos = 0;
}

// ---- trees ----

inline std::uint64_t Load64(const std::uint8_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

class Forest {
 public:
  explicit Forest(TreeArea& area) : w_(area.window), node_(area.node) {}

  void Reset() {
    for (std::uint32_t i = 0; i <= N; ++i) node_[i].parent = NIL;
    for (std::uint32_t i = kFirstRoot; i < kNodeCount; ++i) node_[i].child[1] = NIL;
  }

  // Inserts the string at r and finds its longest match on the way down. Every string
  // in the subtree under the current node lies between the two nearest ancestors the
  // search turned at, so it shares with the key at least the shorter of the key's common
  // prefixes with those two: comparisons start there.
  void Insert(std::uint32_t r) {
    const std::uint8_t* key = w_ + r;
    Node* const node = node_;
    std::uint32_t p = kFirstRoot + key[0];
    node[r].child[0] = NIL;
    node[r].child[1] = NIL;
    std::uint32_t length = 0;
    std::uint32_t position = engine.match_position;
    std::uint32_t lookups = 0;
    std::uint32_t low = 1;   // common prefix with the nearest smaller ancestor
    std::uint32_t high = 1;  // ... and with the nearest larger one
    std::uint32_t dir = 1;
    for (;;) {
      ++lookups;
      const std::uint32_t next = node[p].child[dir];
      if (next == NIL) {
        node[p].child[dir] = static_cast<std::uint16_t>(r);
        node[r].parent = static_cast<std::uint16_t>(p);
        break;
      }
      p = next;
      const std::uint8_t* s = w_ + p;
      std::uint32_t i = std::min(low, high);
      for (;;) {
        const std::uint64_t diff = Load64(key + i) ^ Load64(s + i);
        if (diff != 0) {
          i += static_cast<std::uint32_t>(std::countr_zero(diff)) >> 3;
          break;
        }
        i += 8;
        if (i >= F) break;
      }
      if (i >= F) {
        position = p;
        length = F;
        Replace(p, r);
        break;
      }
      if (i > length) {
        position = p;
        length = i;
      }
      dir = key[i] > s[i];
      if (dir) {
        low = i;
      } else {
        high = i;
      }
    }
    engine.match_position = position;
    engine.match_length = length;
    engine.lookups = lookups;
    if (lookups >= kSplayDepth) {
      ++engine.splays;
      Splay(r);
    }
  }

  void Delete(std::uint32_t p) {
    Node* const node = node_;
    if (node[p].parent == NIL) return;
    std::uint32_t q;
    if (node[p].child[1] == NIL) {
      q = node[p].child[0];
    } else if (node[p].child[0] == NIL) {
      q = node[p].child[1];
    } else {
      q = node[p].child[0];
      if (node[q].child[1] != NIL) {
        do {
          q = node[q].child[1];
        } while (node[q].child[1] != NIL);
        node[node[q].parent].child[1] = node[q].child[0];
        node[node[q].child[0]].parent = node[q].parent;
        node[q].child[0] = node[p].child[0];
        node[node[p].child[0]].parent = static_cast<std::uint16_t>(q);
      }
      node[q].child[1] = node[p].child[1];
      node[node[p].child[1]].parent = static_cast<std::uint16_t>(q);
    }
    const std::uint32_t parent = node[p].parent;
    node[q].parent = static_cast<std::uint16_t>(parent);
    node[parent].child[node[parent].child[1] == p ? 1 : 0] = static_cast<std::uint16_t>(q);
    node[p].parent = NIL;
  }

 private:
  // r takes the place of p, whose string it equals.
  void Replace(std::uint32_t p, std::uint32_t r) {
    Node* const node = node_;
    const std::uint32_t parent = node[p].parent;
    node[r] = node[p];
    node[node[p].child[0]].parent = static_cast<std::uint16_t>(r);
    node[node[p].child[1]].parent = static_cast<std::uint16_t>(r);
    node[parent].child[node[parent].child[1] == p ? 1 : 0] = static_cast<std::uint16_t>(r);
    node[p].parent = NIL;
  }

  void SetChild(std::uint32_t n, int side, std::uint32_t child) {
    node_[n].child[side] = static_cast<std::uint16_t>(child);
  }
  void SetParent(std::uint32_t n, std::uint32_t parent) {
    node_[n].parent = static_cast<std::uint16_t>(parent);
  }
  std::uint32_t Child(std::uint32_t n, int side) const { return node_[n].child[side]; }
  std::uint32_t Parent(std::uint32_t n) const { return node_[n].parent; }

  // Bottom-up splay of x to the root of its tree. `a` is the side x hangs on below p;
  // the four double rotations are two shapes and their mirror images.
  void Splay(std::uint32_t x) {
    for (;;) {
      const std::uint32_t p = Parent(x);
      if (p > N) return;
      const std::uint32_t g = Parent(p);
      const int a = Child(p, 0) == x ? 0 : 1;
      const int b = 1 - a;
      if (g > N) {
        SetChild(p, a, Child(x, b));
        SetChild(x, b, p);
        SetChild(g, 1, x);
        SetParent(Child(p, a), p);
        SetParent(p, x);
        SetParent(x, g);
        return;
      }
      const std::uint32_t gg = Parent(g);
      if (Child(g, a) == p) {
        // x and p hang on the same side: rotate at g, then at p.
        SetChild(g, a, Child(p, b));
        SetChild(p, a, Child(x, b));
        SetChild(p, b, g);
        SetChild(x, b, p);
        SetParent(Child(g, a), g);
        SetParent(Child(p, a), p);
        SetParent(g, p);
        SetParent(p, x);
      } else {
        // x hangs on side a of p, p on side b of g: x rises between them.
        SetChild(g, b, Child(x, a));
        SetChild(p, a, Child(x, b));
        SetChild(x, a, g);
        SetChild(x, b, p);
        SetParent(Child(g, b), g);
        SetParent(Child(p, a), p);
        SetParent(p, x);
        SetParent(g, x);
      }
      if (gg > N) {
        SetChild(gg, 1, x);
      } else {
        SetChild(gg, Child(gg, 0) == g ? 0 : 1, x);
      }
      SetParent(x, gg);
    }
  }

  std::uint8_t* w_;
  Node* node_;
};

}  // namespace

void SetBlockHooks(ReadBlockHook read_block, WriteBlockHook write_block) {
  engine.read_block = std::move(read_block);
  engine.write_block = std::move(write_block);
}

bool LZBegin(std::uint8_t mode) {
  mode &= 0x7F;
  engine.mode = mode;
  switch (mode) {
    case 0:
      return true;
    case 1:
      if (engine.areas_held) return true;
      engine.areas_held = true;
      return AcquireAreas();
    case 2:
      if (engine.lzh_busy) return false;
      engine.lzh_busy = true;
      return true;
    default:
      return false;
  }
}

void LZEnd() {
  if (!engine.mode) return;
  if (*engine.mode == 1 || engine.areas_on_demand) ReleaseAreas();
  if (*engine.mode == 2) engine.lzh_busy = false;
  engine.mode.reset();
}

bool LzssPrepareEncode() {
  if (!EnsureAreas()) return false;
  ResetBlocks();
  std::memset(engine.tree.get(), 0, sizeof(TreeArea));
  engine.match_position = 0;
  engine.match_length = 0;
  engine.lookups = 0;
  engine.last_length = 0;
  return true;
}

bool LzssPrepareDecode() {
  if (!EnsureAreas()) return false;
  ResetBlocks();
  std::memset(engine.output->history(), 0, N);
  return true;
}

void LzssEncode() {
  TreeArea& area = *engine.tree;
  std::uint8_t* const window = area.window;
  std::uint8_t* const group = area.group;
  std::uint8_t* const out = engine.output->block();
  Forest forest(area);
  forest.Reset();
  engine.splays = 0;

  std::uint32_t o = engine.write_pos;
  std::uint32_t fill = 1;
  std::uint8_t mask = 1;
  group[0] = 0;
  std::uint32_t s = 0;
  std::uint32_t r = kWindowStart;
  std::uint32_t len = 0;
  std::uint8_t v = 0;
  while (len < F && ReadByte(v)) window[r + len++] = v;
  if (len == 0) {
    FlushOutput(o);
    return;
  }
  for (std::uint32_t i = 1; i <= F; ++i) forest.Insert(r - i);
  forest.Insert(r);
  do {
    std::uint32_t length = std::min(engine.match_length, len);
    if (length <= THRESHOLD) {
      length = 1;
      group[0] |= mask;
      group[fill++] = window[r];
    } else {
      const std::uint32_t position = engine.match_position;
      group[fill++] = static_cast<std::uint8_t>(position & 255);
      group[fill++] = static_cast<std::uint8_t>(((position >> 8) << 4) + (length - THRESHOLD - 1));
    }
    engine.match_length = length;
    mask = static_cast<std::uint8_t>(mask << 1);
    if (mask == 0) {
      std::memcpy(out + o, group, fill);
      o = DrainFullBlocks(o + fill);
      group[0] = 0;
      fill = 1;
      mask = 1;
    }
    engine.last_length = length;
    std::uint32_t i = 0;
    for (; i < length && ReadByte(v); ++i) {
      forest.Delete(s);
      window[s] = v;
      if (s < F - 1) window[s + N] = v;
      s = (s + 1) & (N - 1);
      r = (r + 1) & (N - 1);
      forest.Insert(r);
    }
    for (; i < length; ++i) {
      forest.Delete(s);
      s = (s + 1) & (N - 1);
      r = (r + 1) & (N - 1);
      if (--len != 0) forest.Insert(r);
    }
  } while (len != 0);
  std::memcpy(out + o, group, fill);
  FlushOutput(o + fill);
}

void LzssDecode() {
  std::uint8_t* const out = engine.output->block();
  const std::uint8_t* const in = engine.input->block;
  std::uint32_t o = engine.write_pos;

  // Copies one match; the window position becomes a distance back from the ring's
  // write position r, which is kWindowStart + o modulo N since the block size is a
  // multiple of N.
  auto copy_match = [&](std::uint32_t lo, std::uint32_t hi) {
    const std::uint32_t position = lo | ((hi >> 4) << 8);
    const std::uint32_t count = (hi & 15) + THRESHOLD + 1;
    const std::uint32_t r = (kWindowStart + o) & (N - 1);
    const std::uint32_t distance = ((r - position - 1) & (N - 1)) + 1;
    std::uint8_t* dst = out + o;
    const std::uint8_t* src = dst - distance;
    if (distance >= 8) {
      std::memcpy(dst, src, 8);
      std::memcpy(dst + 8, src + 8, 8);
      std::memcpy(dst + 16, src + 16, 8);
    } else {
      for (std::uint32_t k = 0; k < count; ++k) dst[k] = src[k];
    }
    o += count;
  };

  for (;;) {
    if (engine.read_count - engine.read_pos >= kMaxGroupBytes) {
      // A whole group is in the block: no end-of-input test per byte.
      const std::uint8_t* p = in + engine.read_pos;
      std::uint32_t flags = *p++;
      for (int k = 0; k < 8; ++k, flags >>= 1) {
        if (flags & 1) {
          out[o++] = *p++;
        } else {
          copy_match(p[0], p[1]);
          p += 2;
        }
      }
      engine.read_pos = static_cast<std::uint32_t>(p - in);
      o = DrainFullBlocks(o);
      continue;
    }
    std::uint8_t flags = 0;
    if (!ReadByte(flags)) break;
    bool ended = false;
    for (int k = 0; k < 8 && !ended; ++k, flags >>= 1) {
      std::uint8_t v = 0;
      std::uint8_t j = 0;
      if (!ReadByte(v)) {
        ended = true;
      } else if (flags & 1) {
        out[o++] = v;
      } else if (!ReadByte(j)) {
        ended = true;
      } else {
        copy_match(v, j);
      }
      o = DrainFullBlocks(o);
    }
    if (ended) break;
  }
  FlushOutput(o);
}

std::uint32_t LzssSplayCount() { return engine.splays; }

bool LzssAreasHeld() { return engine.areas_held; }

bool LzhBusy() { return engine.lzh_busy; }

namespace testing {
void FailAcquisition(int nth) { engine.fail_countdown = nth; }
}  // namespace testing

}  // namespace lz
