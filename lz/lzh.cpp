#include "lz/lzh.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <utility>

#include "lz/lz_testing.h"
#include "lz/lzh_tree.h"
#include "lz/per_thread.h"
#include "lz/work_areas.h"

namespace lz {
namespace {

constexpr int kRingSize = 21903;
constexpr int kLongestMatch = 64;
constexpr int kShortestMatch = 3;
constexpr int kHashHeads = 16384;
constexpr int kNone = -1;           // empty chain, or no neighbour in a chain
constexpr int kPhaseTwoBytes = 64;  // look-ahead filled before the main loop
constexpr int kLargestDistanceValue = 21839;
constexpr int kFirstMatchSymbol = 257;
constexpr int kLengthsPerClass = kLongestMatch - kShortestMatch + 1;  // 62
constexpr int kLongestCode = AdaptiveTree::kLastInternal;  // deepest leaf a tree can have

constexpr std::size_t kEncoderInputBlock = 16384;
constexpr std::size_t kEncoderOutputWords = 16384;
constexpr std::size_t kDecoderInputBlock = 32768;
constexpr std::size_t kDecoderOutputBlock = 16384;

struct DistanceClass {
  int first;
  int last;
  int extra_bits;
};
constexpr std::array<DistanceClass, 6> kClasses = {{
    {0, 15, 4},
    {16, 79, 6},
    {80, 335, 8},
    {336, 1359, 10},
    {1360, 5455, 12},
    {5456, 21839, 14},
}};

// A 3-byte match is sent only from this close; longer ones from anywhere in the ring.
constexpr int kShortMatchReachText = 1359;
constexpr int kShortMatchReachBinary = 5455;
// Candidates walked per search: at the next position (lazy look) and at the current one.
struct ChainLimits {
  int next;
  int current;
};
constexpr ChainLimits kTextLimits = {50, 1000};
constexpr ChainLimits kBinaryLimits = {20, 200};

// The ring's first bytes repeat behind its end: an 8-byte-wise comparison never wraps.
constexpr int kRingMirror = kLongestMatch + 8;

struct Hooks {  // the calling thread's
  LzhCountHook count_in;
  LzhCountHook count_out;
  bool fail_work_areas = false;
};
detail::PerThread<Hooks> hooks;

void Count(const LzhCountHook& hook, std::size_t count, bool decompressing) {
  if (hook) hook(static_cast<std::uint32_t>(count), decompressing);
}

// Fills the block as far as the input goes; a short answer means the input has ended.
std::size_t ReadBlock(const LzhStreams& io, std::uint8_t* block, std::size_t size) {
  std::size_t have = 0;
  while (have < size) {
    const std::size_t got = std::min(io.read(block + have, size - have), size - have);
    if (got == 0) break;
    have += got;
  }
  return have;
}

void WriteBlock(const LzhStreams& io, const std::uint8_t* data, std::size_t count) {
  if (count > 0) io.write(data, count);
}

struct EncoderAreas {
  AdaptiveTree tree;
  std::array<std::uint8_t, kEncoderInputBlock> input;
  std::array<std::uint8_t, 2 * kEncoderOutputWords> output;
  std::array<std::int32_t, kHashHeads> head;
  std::array<std::int32_t, kHashHeads> tail;
  std::array<std::int32_t, kRingSize> newer;
  std::array<std::int32_t, kRingSize> older;
  std::array<std::uint8_t, kRingSize + kRingMirror> ring;
};

class Encoder {
 public:
  Encoder(const LzhStreams& io, EncoderAreas& areas) : io_(io), a_(areas) {}
  std::int64_t Run() {
    a_.tree.Reset();
    static_assert(kNone == -1);  // one memset, where a sanitized build would store each entry
    std::memset(a_.head.data(), 0xFF, sizeof a_.head);
    a_.ring.fill(0);
    ReadInput();

    // The first bytes go as they are; with no more, nothing is left to code.
    while (fill_ < kShortestMatch && ByteLeft()) {
      const std::uint8_t v = NextByte();
      SendSymbol(v);
      PutRing(fill_++, v);
    }
    int coding = fill_;
    for (int i = 0; i < kPhaseTwoBytes && ByteLeft(); ++i) {
      const std::uint8_t v = NextByte();
      PutRing(fill_++, v);
      if (v > 127) binary_ = true;
    }
    const ChainLimits limits = binary_ ? kBinaryLimits : kTextLimits;

    int insertion = 0;
    int skip = 0;
    bool skipping = false;
    bool wrapped = false;
    while (coding != fill_) {
      if (wrapped) RemoveTail(Hash(fill_));
      Insert(insertion);
      if (skipping) {
        if (--skip == 1) skipping = false;
      } else {
        const int next_match = FindMatch(coding + 1, limits.next);
        const int match = FindMatch(coding, limits.current);
        skip = match;
        if (match < kShortestMatch || next_match > match) {
          SendSymbol(a_.ring[coding]);
        } else {
          skipping = true;
          int c = 0;
          while (kClasses[c].last < distance_value_) ++c;
          SendSymbol(kFirstMatchSymbol + kLengthsPerClass * c + (match - kShortestMatch));
          // Extra bits go least significant first.
          const std::uint32_t extra =
              static_cast<std::uint32_t>(distance_value_ - kClasses[c].first);
          std::uint32_t reversed = 0;
          for (int b = 0; b < kClasses[c].extra_bits; ++b)
            reversed |= ((extra >> b) & 1u) << (kClasses[c].extra_bits - 1 - b);
          PutBits(reversed, kClasses[c].extra_bits);
        }
      }
      if (++coding == kRingSize) coding = 0;
      if (++insertion == kRingSize) insertion = 0;
      if (!ByteLeft()) {
        wrapped = false;
      } else {
        PutRing(fill_, NextByte());
        if (++fill_ == kRingSize) {
          fill_ = 0;
          wrapped = true;
        }
      }
    }

    SendSymbol(AdaptiveTree::kEndSymbol);
    FlushBits();
    return bytes_written_;
  }

 private:
  bool ByteLeft() const { return input_pos_ < input_count_; }

  void ReadInput() {
    input_count_ = ReadBlock(io_, a_.input.data(), kEncoderInputBlock);
    input_pos_ = 0;
    Count(hooks->count_in, input_count_, false);
  }

  std::uint8_t NextByte() {
    const std::uint8_t v = a_.input[input_pos_++];
    if (input_pos_ == kEncoderInputBlock) ReadInput();
    return v;
  }

  void PutRing(int pos, std::uint8_t v) {
    a_.ring[pos] = v;
    if (pos < kRingMirror) a_.ring[kRingSize + pos] = v;
  }

  int Hash(int pos) const {
    const std::uint8_t* r = a_.ring.data() + pos;
    return (r[1] << 4) ^ r[0] ^ ((r[2] << 8) & 0x3FFF);
  }

  void Insert(int pos) {
    const int h = Hash(pos);
    const int first = a_.head[h];
    a_.older[pos] = first;
    a_.newer[pos] = kNone;
    if (first == kNone) {
      a_.tail[h] = pos;
    } else {
      a_.newer[first] = pos;
    }
    a_.head[h] = pos;
  }

  void RemoveTail(int hash) {
    const int last = a_.tail[hash];
    if (a_.head[hash] == kNone) return;  // the oldest position is always held: a safeguard
    if (a_.head[hash] == last) {
      a_.head[hash] = kNone;
    } else {
      const int next = a_.newer[last];
      a_.tail[hash] = next;
      a_.older[next] = kNone;
    }
  }

  int MatchLength(int pos, int q, int room) const {
    const std::uint8_t* x = a_.ring.data() + pos;
    const std::uint8_t* y = a_.ring.data() + q;
    int k = 0;
    while (k < room) {
      std::uint64_t u;
      std::uint64_t v;
      std::memcpy(&u, x + k, 8);
      std::memcpy(&v, y + k, 8);
      const std::uint64_t diff = u ^ v;
      if (diff != 0) {
        if constexpr (std::endian::native == std::endian::little) {
          k += std::countr_zero(diff) / 8;
        } else {
          k += std::countl_zero(diff) / 8;
        }
        return std::min(k, room);
      }
      k += 8;
    }
    return room;
  }

  int FindMatch(int pos, int limit) {
    if (pos == kRingSize) pos = 0;
    int best = 0;
    // A match stops before the fill position (bytes not read yet) and never runs into pos.
    int to_fill = fill_ - pos;
    if (to_fill < 0) to_fill += kRingSize;
    const int longest = std::min(kLongestMatch, to_fill);
    const int reach = binary_ ? kShortMatchReachBinary : kShortMatchReachText;
    const std::uint8_t* ring = a_.ring.data();

    int q = a_.head[Hash(pos)];
    for (int walked = 0; q != kNone && walked < limit && best < longest; ++walked) {
      const int candidate = q;
      q = a_.older[candidate];
      if (ring[pos + best] != ring[candidate + best]) continue;
      int distance = pos - candidate;
      if (distance < 0) distance += kRingSize;
      const int k = MatchLength(pos, candidate, std::min(longest, distance));
      const int e = distance - k;
      if (k > best && e <= kLargestDistanceValue && (k > kShortestMatch || e <= reach)) {
        best = k;
        distance_value_ = e;
      }
    }
    return best;
  }

  void StoreWord(std::uint16_t word) {
    a_.output[2 * output_words_] = static_cast<std::uint8_t>(word & 0xFF);
    a_.output[2 * output_words_ + 1] = static_cast<std::uint8_t>(word >> 8);
    if (++output_words_ == kEncoderOutputWords) WriteWords();
  }

  void WriteWords() {
    const std::size_t bytes = 2 * output_words_;
    WriteBlock(io_, a_.output.data(), bytes);
    bytes_written_ += static_cast<std::int64_t>(bytes);
    Count(hooks->count_out, bytes, false);
    output_words_ = 0;
  }

  // Appends count (0..32) bits, the most significant first.
  void PutBits(std::uint32_t bits, int count) {
    bit_buffer_ = (bit_buffer_ << count) | bits;
    pending_bits_ += count;
    while (pending_bits_ >= 16) {
      pending_bits_ -= 16;
      StoreWord(static_cast<std::uint16_t>(bit_buffer_ >> pending_bits_));
    }
  }

  void FlushBits() {
    if (pending_bits_ > 0) {
      StoreWord(static_cast<std::uint16_t>(bit_buffer_ << (16 - pending_bits_)));
      pending_bits_ = 0;
    }
    WriteWords();
  }

  // Sends the path from the root to the leaf (1 = right), noted upwards in 32-bit chunks.
  void SendSymbol(int symbol) {
    const AdaptiveTree& tree = a_.tree;
    std::array<std::uint32_t, kLongestCode / 32 + 1> chunks;
    std::array<std::uint16_t, kLongestCode + 1> down;  // filled from the end
    int top = kLongestCode;
    int full_chunks = 0;
    std::uint32_t code = 0;
    int length = 0;
    for (int node = AdaptiveTree::LeafOf(symbol); node != AdaptiveTree::kRoot;
         node = tree.Parent(node)) {
      if (length == 32) {
        chunks[full_chunks++] = code;
        code = 0;
        length = 0;
      }
      code |= static_cast<std::uint32_t>(tree.IsRightChild(node)) << length;
      ++length;
      down[top--] = static_cast<std::uint16_t>(node);
    }
    down[top] = AdaptiveTree::kRoot;
    PutBits(code, length);
    while (full_chunks > 0) PutBits(chunks[--full_chunks], 32);
    a_.tree.UpdateOnPath(&down[top], kLongestCode - top);
  }

  const LzhStreams& io_;
  EncoderAreas& a_;
  std::size_t input_pos_ = 0;
  std::size_t input_count_ = 0;
  std::size_t output_words_ = 0;
  std::uint64_t bit_buffer_ = 0;
  int pending_bits_ = 0;
  std::int64_t bytes_written_ = 0;
  int fill_ = 0;
  bool binary_ = false;
  int distance_value_ = 0;
};

// Copies 3..64 bytes between ranges that do not overlap in a few wide moves.
void CopyShort(std::uint8_t* to, const std::uint8_t* from, int length) {
  if (length >= 8) {
    int i = 0;
    for (; i + 8 < length; i += 8) std::memcpy(to + i, from + i, 8);
    std::memcpy(to + length - 8, from + length - 8, 8);
  } else if (length >= 4) {
    std::uint32_t head;
    std::uint32_t tail;
    std::memcpy(&head, from, 4);
    std::memcpy(&tail, from + length - 4, 4);
    std::memcpy(to, &head, 4);
    std::memcpy(to + length - 4, &tail, 4);
  } else {
    for (int i = 0; i < length; ++i) to[i] = from[i];
  }
}

struct DecoderAreas {
  AdaptiveTree tree;
  std::array<std::uint8_t, kDecoderOutputBlock> output;
  std::array<std::uint8_t, kDecoderInputBlock> input;
  std::array<std::uint8_t, kRingSize> ring;
};

class Decoder {
 public:
  Decoder(const LzhStreams& io, DecoderAreas& areas) : io_(io), a_(areas) {}
  std::int64_t Run() {
    a_.tree.Reset();
    a_.ring.fill(0);  // a stream that refers to bytes never written sees zeros
    while (true) {
      const int symbol = ReceiveSymbol();
      if (symbol < 0) return kLzhInputEnded;
      if (symbol < AdaptiveTree::kEndSymbol) {
        PutByte(static_cast<std::uint8_t>(symbol));
        continue;
      }
      if (symbol == AdaptiveTree::kEndSymbol) {
        FlushOutput();
        return bytes_written_;
      }
      const int k = symbol - kFirstMatchSymbol;
      const DistanceClass& c = kClasses[k / kLengthsPerClass];
      const int length = k % kLengthsPerClass + kShortestMatch;
      const int extra = ReceiveExtra(c.extra_bits);
      if (extra < 0) return kLzhInputEnded;
      int source = ring_pos_ - (extra + c.first + length);
      if (source < 0) source += kRingSize;
      if (source + length <= kRingSize && ring_pos_ + length <= kRingSize &&
          output_count_ + length < kDecoderOutputBlock) {
        // The distance back is at least the length: a block move copies what byte steps would.
        std::uint8_t* ring = a_.ring.data();
        std::uint8_t* to = ring + ring_pos_;
        if (source + length <= ring_pos_) {
          CopyShort(to, ring + source, length);
        } else {
          std::memmove(to, ring + source, static_cast<std::size_t>(length));
        }
        CopyShort(a_.output.data() + output_count_, to, length);
        output_count_ += length;
        ring_pos_ += length;
        if (ring_pos_ == kRingSize) ring_pos_ = 0;
      } else {
        for (int i = 0; i < length; ++i) {
          PutByte(a_.ring[source]);
          if (++source == kRingSize) source = 0;
        }
      }
    }
  }

 private:
  // Tops the bit buffer up from the words left in the current block, without reading.
  void TopUp() {
    const std::size_t end = 2 * input_words_;
    while (bits_left_ <= 48 && input_pos_ < end) {
      const std::uint32_t word = a_.input[input_pos_] | (a_.input[input_pos_ + 1] << 8);
      bit_buffer_ = (bit_buffer_ << 16) | word;
      bits_left_ += 16;
      input_pos_ += 2;
    }
  }

  // When no bit is left: reads the next block if needed, then tops up; false at the end.
  bool LoadBits() {
    if (input_pos_ >= 2 * input_words_) {
      if (!input_full_) return false;
      const std::size_t got = ReadBlock(io_, a_.input.data(), kDecoderInputBlock);
      Count(hooks->count_in, got, true);
      input_full_ = got == kDecoderInputBlock;
      input_words_ = got / 2;
      input_pos_ = 0;
      if (input_words_ == 0) {
        input_full_ = false;
        return false;
      }
    }
    TopUp();
    return true;
  }

  // Answers the symbol, or -1 when the input ends inside its code.
  int ReceiveSymbol() {
    TopUp();
    const AdaptiveTree& tree = a_.tree;
    std::array<std::uint16_t, kLongestCode + 1> down;
    int depth = 0;
    int node = AdaptiveTree::kRoot;
    down[0] = AdaptiveTree::kRoot;
    std::uint64_t buffer = bit_buffer_;
    int left = bits_left_;
    while (!AdaptiveTree::IsLeaf(node)) {
      if (left == 0) {
        bits_left_ = 0;
        if (!LoadBits()) return -1;
        buffer = bit_buffer_;
        left = bits_left_;
      }
      --left;
      node = tree.Child(node, static_cast<int>((buffer >> left) & 1));
      down[++depth] = static_cast<std::uint16_t>(node);
    }
    bits_left_ = left;
    a_.tree.UpdateOnPath(down.data(), depth);
    return AdaptiveTree::SymbolOf(node);
  }

  // The extra bits of a match, least significant first; -1 when the input ends first.
  int ReceiveExtra(int count) {
    TopUp();
    int value = 0;
    for (int b = 0; b < count; ++b) {
      if (bits_left_ == 0 && !LoadBits()) return -1;
      --bits_left_;
      value |= static_cast<int>((bit_buffer_ >> bits_left_) & 1) << b;
    }
    return value;
  }

  void FlushOutput() {
    WriteBlock(io_, a_.output.data(), output_count_);
    bytes_written_ += static_cast<std::int64_t>(output_count_);
    Count(hooks->count_out, output_count_, true);
    output_count_ = 0;
  }

  void PutByte(std::uint8_t v) {
    a_.ring[ring_pos_] = v;
    if (++ring_pos_ == kRingSize) ring_pos_ = 0;
    a_.output[output_count_] = v;
    if (++output_count_ == kDecoderOutputBlock) FlushOutput();
  }

  const LzhStreams& io_;
  DecoderAreas& a_;
  std::size_t input_pos_ = 0;    // next byte of the block, always even
  std::size_t input_words_ = 0;  // whole words read into the block
  bool input_full_ = true;       // the last read filled the block, so more may follow
  std::uint64_t bit_buffer_ = 0;
  int bits_left_ = 0;
  std::size_t output_count_ = 0;
  std::int64_t bytes_written_ = 0;
  int ring_pos_ = 0;
};

AreaPool<EncoderAreas> encoder_pool;
AreaPool<DecoderAreas> decoder_pool;

// Runs the coder over the work areas of `pool`; kLzhNoWorkArea when they cannot be had.
template <typename Coder, typename Areas>
std::int64_t RunWithAreas(AreaPool<Areas>& pool, const LzhStreams& io) {
  if (hooks->fail_work_areas) return kLzhNoWorkArea;
  std::optional<typename AreaPool<Areas>::Lease> areas;
  try {
    areas.emplace(pool);  // each run sets up what it reads
  } catch (const std::bad_alloc&) {
    return kLzhNoWorkArea;
  }
  return Coder(io, **areas).Run();
}

}  // namespace

void SetLzhCountHooks(LzhCountHook count_in, LzhCountHook count_out) {
  hooks->count_in = std::move(count_in);
  hooks->count_out = std::move(count_out);
}

std::int64_t LzhEncode(const LzhStreams& io) { return RunWithAreas<Encoder>(encoder_pool, io); }

std::int64_t LzhDecode(const LzhStreams& io) { return RunWithAreas<Decoder>(decoder_pool, io); }

namespace testing {
void FailLzhWorkAreas(bool fail) { hooks->fail_work_areas = fail; }
}  // namespace testing

}  // namespace lz
