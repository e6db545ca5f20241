#include "lz/lzss.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <utility>

#include "lz/lz_testing.h"
#include "lz/per_thread.h"
#include "lz/work_areas.h"

namespace lz {
namespace {

constexpr std::uint32_t N = 4096;            // ring window size
constexpr std::uint32_t F = 18;              // longest match, look-ahead length
constexpr std::uint32_t THRESHOLD = 2;       // matches this short or shorter go as literals
constexpr std::uint32_t NIL = N;             // absent node; its parent entry is scratch
constexpr std::uint32_t kFirstRoot = N + 1;  // root slot of first byte b: kFirstRoot + b
constexpr std::uint32_t kSplayDepth = 30;    // look-ups that make an insertion splay
constexpr std::uint32_t kWindowStart = N - F;
constexpr std::uint32_t kNodeCount = kFirstRoot + 256;
constexpr std::uint32_t kMaxGroupBytes = 1 + 8 * 2;
constexpr std::uint32_t kMaxGroupOutput = 8 * F;

// Bytes N..N+F-2 mirror 0..F-2: no string wraps, and the descent's words stay inside.
constexpr std::uint32_t kWindowBytes = N + F - 1;

// 16-bit links, a node's two child links side by side and the parent links apart, so
// that what the descent touches fits the first-level cache. Links hold ids kTopNode - n,
// which count down like the reversed window: one id addresses links and string bytes.
constexpr std::uint32_t kTopNode = kNodeCount - 1;
constexpr std::uint32_t kNilId = kTopNode - NIL;  // root slots have the ids below it
struct Children {
  std::uint16_t side[2];  // left, right
};

// `reversed` holds the window back to front, so that bytes 1..16 of a string, read as two
// little-endian words, are the big-endian number that orders the strings.
struct TreeArea {
  std::uint8_t window[kWindowBytes];
  std::uint8_t reversed[kWindowBytes];
  alignas(64) Children child[kNodeCount];
  std::uint16_t parent[kNodeCount];  // by id; the entry at kNilId is scratch
  std::uint8_t group[kMaxGroupBytes];
};

struct InputArea {
  std::uint8_t block[kBlockSize];
};

// The last N bytes written stand in front of the block, so that the decoder's matches
// copy from the output; the tail takes the items that run past a full block.
struct OutputArea {
  std::uint8_t bytes[N + kBlockSize + kMaxGroupOutput + 16];
  std::uint8_t* history() { return bytes; }
  std::uint8_t* block() { return bytes + N; }
};

struct Engine {
  std::optional<std::uint8_t> mode;
  bool areas_on_demand = false;  // acquired by a set-up rather than by LZBegin(1)
  bool lzh_busy = false;
  std::unique_ptr<InputArea> input;
  std::unique_ptr<OutputArea> output;
  std::unique_ptr<TreeArea> tree;  // acquired last: held, the three areas are

  ReadBlockHook read_block;
  WriteBlockHook write_block;
  std::uint32_t read_pos = kBlockSize;
  std::uint32_t read_count = kBlockSize;
  bool input_ended = false;

  std::uint32_t match_position = 0;
  std::uint32_t match_length = 0;
  std::uint32_t splays = 0;

  int fail_countdown = 0;

  AreaPool<InputArea> input_pool;
  AreaPool<OutputArea> output_pool;
  AreaPool<TreeArea> tree_pool;
};

detail::PerThread<Engine> engines;  // looked up once per call

template <typename Area>
std::unique_ptr<Area> AcquireArea(Engine& engine, AreaPool<Area>& pool) {
  if (engine.fail_countdown > 0 && --engine.fail_countdown == 0) throw std::bad_alloc();
  return pool.Take();
}

void ReleaseAreas(Engine& engine) {
  engine.input_pool.Give(std::move(engine.input));
  engine.output_pool.Give(std::move(engine.output));
  engine.tree_pool.Give(std::move(engine.tree));
  engine.areas_on_demand = false;
}

bool AcquireAreas(Engine& engine) {
  try {
    engine.input = AcquireArea(engine, engine.input_pool);
    engine.output = AcquireArea(engine, engine.output_pool);
    engine.tree = AcquireArea(engine, engine.tree_pool);
  } catch (const std::bad_alloc&) {
    ReleaseAreas(engine);
    return false;
  }
  return true;
}

// A run's start: the work areas, acquired unless held, and an empty input block. False when
// the areas cannot be had.
bool StartRun(Engine& engine) {
  if (!engine.tree) {
    engine.areas_on_demand = AcquireAreas(engine);
    if (!engine.areas_on_demand) return false;
  }
  engine.read_pos = kBlockSize;
  engine.read_count = kBlockSize;
  engine.input_ended = false;
  return true;
}

// Refills the input block; false once the input is exhausted, for the rest of the run.
bool RefillInput(Engine& engine) {
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

inline bool ReadByte(Engine& engine, std::uint8_t& v) {
  if (engine.read_pos >= engine.read_count && !RefillInput(engine)) return false;
  v = engine.input->block[engine.read_pos++];
  return true;
}

// Hands on every full block before `end`; the rest moves to the front, the history along.
std::uint32_t DrainFullBlocks(Engine& engine, std::uint32_t end) {
  OutputArea& out = *engine.output;
  while (end >= kBlockSize) {
    engine.write_block(std::span<const std::uint8_t>(out.block(), kBlockSize));
    std::memcpy(out.history(), out.block() + kBlockSize - N, N);
    end -= kBlockSize;
    std::memmove(out.block(), out.block() + kBlockSize, end);
  }
  return end;
}

void FlushOutput(Engine& engine, std::uint32_t end) {
  end = DrainFullBlocks(engine, end);
  engine.write_block(std::span<const std::uint8_t>(engine.output->block(), end));
}

// Bytes 1..16 of two strings compared as 128-bit numbers, in halves for 32-bit targets.
inline bool KeyAbove(std::uint64_t key_high, std::uint64_t key_low, std::uint64_t node_high,
                     std::uint64_t node_low) {
  return key_high > node_high || (key_high == node_high && key_low > node_low);
}

// Whether key and node are equal; if key is above node, next, kids, high and low take their
// second values, by conditional moves: a branch would mispredict every other step.
inline bool SelectAbove(std::uint64_t key_high, std::uint64_t key_low, std::uint64_t node_high,
                        std::uint64_t node_low, std::uint32_t& next, std::uint32_t next_right,
                        std::uint32_t& kids, std::uint32_t kids_right, std::uint64_t& high,
                        std::uint64_t high_right, std::uint64_t& low, std::uint64_t low_right) {
#if defined(__x86_64__) && !defined(VARN_LZSS_PORTABLE)
  bool equal;
  asm("sub %[key_low], %[node_low]\n\t"
      "sbb %[key_high], %[node_high]\n\t"
      "cmovb %k[next_right], %k[next]\n\t"
      "cmovb %k[kids_right], %k[kids]\n\t"
      "cmovb %[high_right], %[high]\n\t"
      "cmovb %[low_right], %[low]\n\t"
      "or %[node_low], %[node_high]"
      : [node_high] "+r"(node_high), [node_low] "+r"(node_low), [next] "+r"(next),
        [kids] "+r"(kids), [high] "+r"(high), [low] "+r"(low), "=@ccz"(equal)
      : [key_low] "rm"(key_low), [key_high] "rm"(key_high), [next_right] "r"(next_right),
        [kids_right] "r"(kids_right), [high_right] "r"(high_right), [low_right] "r"(low_right));
  return equal;
#else
  const std::uint64_t mask =
      0 - static_cast<std::uint64_t>(KeyAbove(key_high, key_low, node_high, node_low));
  next ^= (next ^ next_right) & static_cast<std::uint32_t>(mask);
  kids ^= (kids ^ kids_right) & static_cast<std::uint32_t>(mask);
  high ^= (high ^ high_right) & mask;
  low ^= (low ^ low_right) & mask;
  return key_high == node_high && key_low == node_low;
#endif
}

// Keeps the compiler from carrying loaded values across this point.
inline void CompilerBarrier() {
#if defined(VARN_LZSS_PORTABLE)
  std::atomic_signal_fence(std::memory_order_seq_cst);
#else
  asm volatile("" ::: "memory");
#endif
}

inline std::uint64_t Load64(const std::uint8_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

class Forest {
 public:
  Forest(Engine& engine, TreeArea& area) : engine(engine), a_(area) {}

  void Reset() {
    for (std::uint32_t id = kNilId; id <= kTopNode; ++id) a_.parent[id] = kNilId;
    for (std::uint32_t id = 0; id < kNilId; ++id) a_.child[id].side[1] = kNilId;
  }

  // Inserts the string at r; with kTrack also finds its longest match on the way down, its
  // length from the compare's highest differing byte. Both children load during a compare.
  template <bool kTrack>
  [[gnu::always_inline]] void Insert(std::uint32_t r) {
    TreeArea& a = a_;
    const std::uint32_t x = Id(r);
    a.child[x].side[0] = kNilId;
    a.child[x].side[1] = kNilId;
    const std::uint64_t key_high = High(x);
    const std::uint64_t key_low = Low(x);
    const std::uint32_t key_last = a.window[r + F - 1];
    std::uint32_t p = Id(kFirstRoot + a.window[r]);
    std::uint32_t next = Child(p, 1);
    bool right = true;
    std::uint32_t lookups = 1;
    std::uint32_t best = 0;  // length << 16 | id of the match
    if (next != kNilId) [[likely]] {
      std::uint32_t kids = Kids(next);
      std::uint64_t high = High(next);
      std::uint64_t low = Low(next);
      for (;;) {
        p = next;
        const std::uint32_t left_child = kids & 0xFFFF;
        const std::uint32_t right_child = kids >> 16;
        const std::uint32_t left_kids = Kids(left_child);
        const std::uint32_t right_kids = Kids(right_child);
        const std::uint64_t left_high = High(left_child);
        const std::uint64_t left_low = Low(left_child);
        const std::uint64_t right_high = High(right_child);
        const std::uint64_t right_low = Low(right_child);
        const std::uint64_t node_high = high;
        const std::uint64_t node_low = low;
        next = left_child;
        kids = left_kids;
        high = left_high;
        low = left_low;
        const bool equal = SelectAbove(key_high, key_low, node_high, node_low, next, right_child,
                                       kids, right_kids, high, right_high, low, right_low);
        if (!equal) [[likely]] {
          if constexpr (kTrack) {
            const std::uint64_t d = key_high ^ node_high;
            const std::uint32_t i =
                1 + (static_cast<std::uint32_t>(
                         d != 0 ? __builtin_clzll(d) : 64 + __builtin_clzll(key_low ^ node_low)) >>
                     3);
            // Length in the high half: a conditional move, not a branch.
            best = (i << 16) > best ? (i << 16) | p : best;
          }
          if (next == kNilId) {
            right = KeyAbove(key_high, key_low, High(p), Low(p));  // once per insertion
            break;
          }
          ++lookups;
          continue;
        }
        // Bytes 1..16 agree: byte 17 decides, or the new string replaces an equal one.
        const std::uint32_t node_last = a.window[kTopNode - p + F - 1];
        if (key_last == node_last) {
          if constexpr (kTrack) {
            engine.match_position = kTopNode - p;
            engine.match_length = F;
          }
          Replace(p, x);
          Finish(x, lookups);
          return;
        }
        if constexpr (kTrack) best = ((F - 1) << 16) > best ? ((F - 1) << 16) | p : best;
        right = key_last > node_last;
        CompilerBarrier();  // rare: the children are read again, not kept in registers
        const std::uint32_t p_kids = Kids(p);
        next = right ? p_kids >> 16 : p_kids & 0xFFFF;
        if (next == kNilId) break;
        ++lookups;
        kids = Kids(next);
        high = High(next);
        low = Low(next);
      }
      ++lookups;
    }
    SetChild(p, right ? 1 : 0, x);
    SetParent(x, p);
    if constexpr (kTrack) {
      // With no node met the match is length 0 at the previous position.
      if (best != 0) engine.match_position = kTopNode - (best & 0xFFFF);
      engine.match_length = best >> 16;
    }
    Finish(x, lookups);
  }

  // Takes the string at position n out of its tree.
  void Delete(std::uint32_t n) {
    const std::uint32_t p = Id(n);
    if (Parent(p) == kNilId) return;
    std::uint32_t q;
    if (Child(p, 1) == kNilId) {
      q = Child(p, 0);
    } else if (Child(p, 0) == kNilId) {
      q = Child(p, 1);
    } else {
      q = Child(p, 0);
      if (Child(q, 1) != kNilId) {
        do {
          q = Child(q, 1);
        } while (Child(q, 1) != kNilId);
        SetChild(Parent(q), 1, Child(q, 0));
        SetParent(Child(q, 0), Parent(q));
        SetChild(q, 0, Child(p, 0));
        SetParent(Child(p, 0), q);
      }
      SetChild(q, 1, Child(p, 1));
      SetParent(Child(p, 1), q);
    }
    const std::uint32_t parent = Parent(p);
    SetParent(q, parent);
    SetChild(parent, Child(parent, 1) == p ? 1 : 0, q);
    SetParent(p, kNilId);
  }

 private:
  static std::uint32_t Id(std::uint32_t n) { return kTopNode - n; }

  // r takes the place of p, whose string it equals.
  void Replace(std::uint32_t p, std::uint32_t r) {
    const std::uint32_t parent = Parent(p);
    SetParent(r, parent);
    SetChild(r, 0, Child(p, 0));
    SetChild(r, 1, Child(p, 1));
    SetParent(Child(p, 0), r);
    SetParent(Child(p, 1), r);
    SetChild(parent, Child(parent, 1) == p ? 1 : 0, r);
    SetParent(p, kNilId);
  }

  void Finish(std::uint32_t x, std::uint32_t lookups) {
    if (lookups >= kSplayDepth) [[unlikely]] {
      ++engine.splays;
      Splay(x);
    }
  }

  // Both child links of id n, left in the low half.
  std::uint32_t Kids(std::uint32_t n) const {
    std::uint32_t kids;
    std::memcpy(&kids, a_.child[n].side, sizeof kids);
    return kids;
  }

  // Bytes 1..8 and 9..16 of the string of id n, each word big-endian.
  std::uint64_t High(std::uint32_t n) const { return Load64(Back(n) + 8); }
  std::uint64_t Low(std::uint32_t n) const { return Load64(Back(n)); }
  const std::uint8_t* Back(std::uint32_t n) const {
    return a_.reversed + (std::size_t{n} - kNilId);
  }

  std::uint32_t Child(std::uint32_t n, std::uint32_t side) const { return a_.child[n].side[side]; }
  std::uint32_t Parent(std::uint32_t n) const { return a_.parent[n]; }
  void SetChild(std::uint32_t n, std::uint32_t side, std::uint32_t child) {
    a_.child[n].side[side] = static_cast<std::uint16_t>(child);
  }
  void SetParent(std::uint32_t n, std::uint32_t parent) {
    a_.parent[n] = static_cast<std::uint16_t>(parent);
  }

  // Bottom-up splay of x to the root of its tree (root slots have the ids below kNilId);
  // `a` is x's side below p.
  void Splay(std::uint32_t x) {
    for (;;) {
      const std::uint32_t p = Parent(x);
      if (p < kNilId) return;
      const std::uint32_t g = Parent(p);
      const std::uint32_t a = Child(p, 0) == x ? 0 : 1;
      const std::uint32_t b = 1 - a;
      if (g < kNilId) {
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
      if (gg < kNilId) {
        SetChild(gg, 1, x);
      } else {
        SetChild(gg, Child(gg, 0) == g ? 0 : 1, x);
      }
      SetParent(x, gg);
    }
  }

  Engine& engine;
  TreeArea& a_;
};

}  // namespace

void SetBlockHooks(ReadBlockHook read_block, WriteBlockHook write_block) {
  Engine& engine = *engines;
  engine.read_block = std::move(read_block);
  engine.write_block = std::move(write_block);
}

bool LZBegin(std::uint8_t mode) {
  Engine& engine = *engines;
  mode &= 0x7F;
  engine.mode = mode;
  switch (mode) {
    case 0:
      return true;
    case 1:
      return engine.tree || AcquireAreas(engine);
    case 2:
      return !std::exchange(engine.lzh_busy, true);
    default:
      return false;
  }
}

void LZEnd() {
  Engine& engine = *engines;
  if (!engine.mode) return;
  if (*engine.mode == 1 || engine.areas_on_demand) ReleaseAreas(engine);
  if (*engine.mode == 2) engine.lzh_busy = false;
  engine.mode.reset();
}

bool LzssPrepareEncode() {
  Engine& engine = *engines;
  if (!StartRun(engine)) return false;
  std::memset(engine.tree.get(), 0, sizeof(TreeArea));
  engine.match_position = 0;
  return true;
}

bool LzssPrepareDecode() {
  Engine& engine = *engines;
  if (!StartRun(engine)) return false;
  std::memset(engine.output->history(), 0, N);
  return true;
}

void LzssEncode() {
  Engine& engine = *engines;
  TreeArea& area = *engine.tree;
  std::uint8_t* const window = area.window;
  std::uint8_t* const group = area.group;
  std::uint8_t* const out = engine.output->block();
  Forest forest(engine, area);
  forest.Reset();
  engine.splays = 0;

  std::uint32_t o = 0;
  std::uint32_t fill = 1;
  std::uint8_t mask = 1;
  group[0] = 0;
  std::uint32_t s = 0;
  std::uint32_t r = kWindowStart;
  std::uint32_t len = 0;
  std::uint8_t v = 0;
  std::uint8_t* const reversed =
      area.reversed + kWindowBytes - 1;  // reversed[-i] mirrors window[i]
  while (len < F && ReadByte(engine, v)) {
    window[r + len] = v;
    reversed[-static_cast<std::ptrdiff_t>(r + len)] = v;
    ++len;
  }
  if (len == 0) {
    FlushOutput(engine, o);
    return;
  }
  for (std::uint32_t i = 1; i <= F; ++i) forest.Insert<false>(r - i);
  forest.Insert<true>(r);
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
    mask = static_cast<std::uint8_t>(mask << 1);
    if (mask == 0) {
      std::memcpy(out + o, group, fill);
      o = DrainFullBlocks(engine, o + fill);
      group[0] = 0;
      fill = 1;
      mask = 1;
    }
    for (std::uint32_t i = 0; i < length; ++i) {
      // Once the input has ended the look-ahead shrinks instead.
      const bool more = ReadByte(engine, v);
      forest.Delete(s);
      if (more) {
        window[s] = v;
        reversed[-static_cast<std::ptrdiff_t>(s)] = v;
        if (s < F - 1) {
          window[s + N] = v;
          reversed[-static_cast<std::ptrdiff_t>(s + N)] = v;
        }
      }
      s = (s + 1) & (N - 1);
      r = (r + 1) & (N - 1);
      if (!more && --len == 0) continue;
      if (i + 1 == length) {
        forest.Insert<true>(r);
      } else {
        forest.Insert<false>(r);
      }
    }
  } while (len != 0);
  std::memcpy(out + o, group, fill);
  FlushOutput(engine, o + fill);
}

void LzssDecode() {
  Engine& engine = *engines;
  std::uint8_t* const out = engine.output->block();
  const std::uint8_t* const in = engine.input->block;
  std::uint32_t o = 0;

  // The window position becomes a distance back from the ring's write position.
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
      o = DrainFullBlocks(engine, o);
      continue;
    }
    std::uint8_t flags = 0;
    if (!ReadByte(engine, flags)) break;
    bool ended = false;
    for (int k = 0; k < 8 && !ended; ++k, flags >>= 1) {
      std::uint8_t v = 0;
      std::uint8_t j = 0;
      if (!ReadByte(engine, v)) {
        ended = true;
      } else if (flags & 1) {
        out[o++] = v;
      } else if (!ReadByte(engine, j)) {
        ended = true;
      } else {
        copy_match(v, j);
      }
      o = DrainFullBlocks(engine, o);
    }
    if (ended) break;
  }
  FlushOutput(engine, o);
}

std::uint32_t LzssSplayCount() { return engines->splays; }

bool LzssAreasHeld() { return engines->tree != nullptr; }

bool LzhBusy() { return engines->lzh_busy; }

namespace testing {
void FailAcquisition(int nth) { engines->fail_countdown = nth; }
}  // namespace testing

}  // namespace lz
