#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "lz/lz_testing.h"
#include "lz/lzss.h"
#include "lzss_reference.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes FromText(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes Repeat(const Bytes& unit, std::size_t times) {
  Bytes out;
  for (std::size_t i = 0; i < times; ++i) out.insert(out.end(), unit.begin(), unit.end());
  return out;
}

// "0 1 2 ... 2999": the input whose search paths grow long enough to splay.
Bytes DecimalNumbers() {
  std::string text;
  for (int i = 0; i < 3000; ++i) {
    if (i) text += ' ';
    text += std::to_string(i);
  }
  return FromText(text);
}

Bytes RandomBytes(std::size_t size, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes out(size);
  for (auto& b : out) b = static_cast<std::uint8_t>(rng());
  return out;
}

// Words drawn from a small vocabulary: compressible, with many equally long matches.
Bytes WordSalad(std::size_t size, std::uint32_t seed) {
  static const char* const kWords[] = {"the ",     "backup ",  "of ",  "history ", "folder ",
                                       "contact ", "message ", "ICQ ", "index ",   "data\n"};
  std::mt19937 rng(seed);
  std::string text;
  while (text.size() < size) text += kWords[rng() % std::size(kWords)];
  text.resize(size);
  return FromText(text);
}

Bytes ReadFile(const std::filesystem::path& path, std::size_t limit) {
  std::ifstream in(path, std::ios::binary);
  Bytes out(limit);
  in.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(limit));
  out.resize(static_cast<std::size_t>(in.gcount()));
  return out;
}

// What one run saw through the hooks.
struct Coded {
  Bytes output;
  std::vector<std::uint32_t> reads;   // ReadBlock answers, in order
  std::vector<std::uint32_t> writes;  // WriteBlock counts, in order
  std::uint32_t splays = 0;
};

// Runs one operation over memory hooks; ReadBlock hands out at most `chunk` bytes a call.
Coded Code(const Bytes& input, bool encode, std::uint32_t chunk = lz::kBlockSize) {
  Coded run;
  std::size_t pos = 0;
  lz::SetBlockHooks(
      [&](std::span<std::uint8_t> block) {
        EXPECT_EQ(block.size(), lz::kBlockSize);
        const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(chunk, input.size() - pos));
        std::copy_n(input.begin() + static_cast<std::ptrdiff_t>(pos), n, block.begin());
        pos += n;
        run.reads.push_back(n);
        return n;
      },
      [&](std::span<const std::uint8_t> bytes) {
        run.output.insert(run.output.end(), bytes.begin(), bytes.end());
        run.writes.push_back(static_cast<std::uint32_t>(bytes.size()));
        return static_cast<std::uint32_t>(bytes.size());
      });
  EXPECT_TRUE(lz::LZBegin(1));
  if (encode) {
    EXPECT_TRUE(lz::LzssPrepareEncode());
    lz::LzssEncode();
    run.splays = lz::LzssSplayCount();
  } else {
    EXPECT_TRUE(lz::LzssPrepareDecode());
    lz::LzssDecode();
  }
  lz::LZEnd();
  return run;
}

Coded Encode(const Bytes& input, std::uint32_t chunk = lz::kBlockSize) {
  return Code(input, true, chunk);
}
Coded Decode(const Bytes& stream, std::uint32_t chunk = lz::kBlockSize) {
  return Code(stream, false, chunk);
}

// ---- the worked examples ----

struct Example {
  const char* name;
  Bytes input;
  Bytes stream;
};

void PrintTo(const Example& c, std::ostream* os) { *os << c.name; }

class LzssExample : public ::testing::TestWithParam<Example> {};

TEST_P(LzssExample, EncodesToTheStreamAndBack) {
  const Example& e = GetParam();
  EXPECT_EQ(Encode(e.input).output, e.stream);
  EXPECT_EQ(lzss_reference::Encode(e.input).stream, e.stream);
  EXPECT_EQ(Decode(e.stream).output, e.input);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, LzssExample,
    ::testing::Values(
        Example{"Empty", {}, {}}, Example{"OneByte", {0x41}, {0x01, 0x41}},
        Example{"ThreeLiterals", FromText("abc"), {0x07, 0x61, 0x62, 0x63}},
        Example{"FullGroupAddsEmptyFlagByte",
                FromText("ABCDEFGH"),
                {0xFF, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x00}},
        Example{"NinthItemStartsAGroup",
                FromText("ABCDEFGHI"),
                {0xFF, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x01, 0x49}},
        Example{"ZerosMatchTheInitialWindow", Bytes(20, 0), {0x06, 0xDC, 0xFF, 0x00, 0x00}},
        Example{
            "OverlappingMatch", Repeat(FromText("abc"), 7), {0x07, 0x61, 0x62, 0x63, 0xEE, 0xFF}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LzssStream, EmptyInputWritesOneEmptyBlock) {
  const Coded encoded = Encode({});
  EXPECT_EQ(encoded.reads, (std::vector<std::uint32_t>{0}));
  EXPECT_EQ(encoded.writes, (std::vector<std::uint32_t>{0}));
  const Coded decoded = Decode({});
  EXPECT_EQ(decoded.reads, (std::vector<std::uint32_t>{0}));
  EXPECT_EQ(decoded.writes, (std::vector<std::uint32_t>{0}));
}

TEST(LzssStream, DecimalNumbersSplay54Times) {
  const Bytes input = DecimalNumbers();
  ASSERT_EQ(input.size(), 13889u);
  const Coded run = Encode(input);
  EXPECT_EQ(run.output.size(), 9584u);
  EXPECT_EQ(run.splays, 54u);
  const auto reference = lzss_reference::Encode(input);
  EXPECT_EQ(run.output, reference.stream);
  EXPECT_EQ(reference.splays, 54u);

  // The splay decides between equally long matches: without it the stream differs but
  // still decodes to the input.
  const auto unsplayed = lzss_reference::Encode(input, false);
  EXPECT_NE(unsplayed.stream, run.output);
  EXPECT_EQ(Decode(unsplayed.stream).output, input);
  EXPECT_EQ(Decode(run.output).output, input);
}

TEST(LzssStream, EqualBytesNeverSplay) {
  const Bytes input(100000, 0x5A);
  const Coded run = Encode(input);
  EXPECT_EQ(run.splays, 0u);
  EXPECT_EQ(run.output, lzss_reference::Encode(input).stream);
  EXPECT_EQ(Decode(run.output).output, input);
}

TEST(LzssStream, MatchIsCutToTheBytesLeft) {
  // 20 equal bytes after a literal: one match of 18 from the look-ahead, then a tail of
  // two that must not run past the input.
  Bytes input{0x01};
  input.insert(input.end(), 20, 0x41);
  const Coded run = Encode(input);
  EXPECT_EQ(Decode(run.output).output, input);
  EXPECT_EQ(run.output, lzss_reference::Encode(input).stream);
}

// ---- blocks ----

class LzssBlocks : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(LzssBlocks, WholeBlocksThenAnEmptyRead) {
  const std::uint32_t blocks = GetParam();
  const Bytes input = WordSalad(blocks * lz::kBlockSize, blocks);
  const Coded run = Encode(input);
  std::vector<std::uint32_t> expected(blocks, lz::kBlockSize);
  expected.push_back(0);
  EXPECT_EQ(run.reads, expected);
  EXPECT_EQ(run.output, lzss_reference::Encode(input).stream);

  const Coded decoded = Decode(run.output);
  EXPECT_EQ(decoded.writes, expected);
  EXPECT_EQ(decoded.output, input);
}

INSTANTIATE_TEST_SUITE_P(Sizes, LzssBlocks, ::testing::Values(1u, 2u));

TEST(LzssBlocksOut, OutputFillingTheBlockEndsWithAnEmptyWrite) {
  // Find a random input whose stream is exactly one block long: mostly literals, so the
  // stream grows by about 9 bytes per 8 input bytes; a few lengths near the estimate hit.
  const Bytes source = RandomBytes(240000, 7);
  std::size_t length = 233016;  // 29127 groups of 8 literals, 9 bytes each, plus 00
  Coded run;
  for (int attempt = 0; attempt < 40; ++attempt) {
    run = Encode(Bytes(source.begin(), source.begin() + static_cast<std::ptrdiff_t>(length)));
    const auto size = static_cast<std::ptrdiff_t>(run.output.size());
    const std::ptrdiff_t missing = static_cast<std::ptrdiff_t>(lz::kBlockSize) - size;
    if (missing == 0) break;
    // Jump by the estimate while far; near the target, step by one and at times two, so
    // that a length whose stream skips the block size is stepped over.
    const std::ptrdiff_t step = std::abs(missing) > 3 ? missing * 8 / 9 : (missing > 0 ? 1 : -1);
    length = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(length) + step +
                                      (attempt % 3 == 2 ? step : 0));
  }
  ASSERT_EQ(run.output.size(), lz::kBlockSize);
  EXPECT_EQ(run.writes, (std::vector<std::uint32_t>{lz::kBlockSize, 0}));
}

TEST(LzssBlocksOut, ReadChunkSizeDoesNotChangeTheStream) {
  const Bytes input = WordSalad(300000, 3);
  const Coded whole = Encode(input);
  for (std::uint32_t chunk : {1u, 7u, 17u, 4096u, 100000u}) {
    SCOPED_TRACE(chunk);
    EXPECT_EQ(Encode(input, chunk).output, whole.output);
    const Coded decoded = Decode(whole.output, chunk);
    EXPECT_EQ(decoded.output, input);
    // Full blocks go out whatever the input pieces were.
    for (std::size_t i = 0; i + 1 < decoded.writes.size(); ++i) {
      EXPECT_EQ(decoded.writes[i], lz::kBlockSize);
    }
  }
}

TEST(LzssBlocksOut, HookErrorPassesThroughAndEndsTheRun) {
  lz::SetBlockHooks(
      [](std::span<std::uint8_t>) -> std::uint32_t { throw std::runtime_error("disk gone"); },
      [](std::span<const std::uint8_t> b) { return static_cast<std::uint32_t>(b.size()); });
  ASSERT_TRUE(lz::LZBegin(1));
  ASSERT_TRUE(lz::LzssPrepareEncode());
  EXPECT_THROW(lz::LzssEncode(), std::runtime_error);
  ASSERT_TRUE(lz::LzssPrepareDecode());
  EXPECT_THROW(lz::LzssDecode(), std::runtime_error);
  lz::LZEnd();
  EXPECT_FALSE(lz::LzssAreasHeld());
}

// ---- decoding damaged or cut streams ----

TEST(LzssDecode, MatchCutAfterItsFirstByteIsDropped) {
  const Bytes stream{0x07, 0x61, 0x62, 0x63, 0xEE, 0xFF};
  EXPECT_EQ(Decode(Bytes(stream.begin(), stream.end() - 1)).output, FromText("abc"));
  EXPECT_EQ(Decode({0x00}).output, Bytes{});
  EXPECT_EQ(Decode({0x00, 0x12}).output, Bytes{});
}

TEST(LzssDecode, ArbitraryBytesDecodeAsThePlainDecoderDoes) {
  // Random streams exercise short distances, the initial zero window and every length.
  for (std::uint32_t seed = 1; seed <= 40; ++seed) {
    const Bytes stream = RandomBytes(100 + seed * 997, seed);
    SCOPED_TRACE(seed);
    EXPECT_EQ(Decode(stream).output, lzss_reference::Decode(stream));
  }
  const Bytes large = RandomBytes(600000, 99);
  const Coded run = Decode(large);
  EXPECT_EQ(run.output, lzss_reference::Decode(large));
  ASSERT_GE(run.writes.size(), 2u);
  EXPECT_EQ(run.writes.front(), lz::kBlockSize);
}

TEST(LzssDecode, EveryCutOfAStreamDecodesToAPrefix) {
  const Bytes input = DecimalNumbers();
  const Bytes stream = Encode(input).output;
  for (std::size_t cut = 0; cut <= stream.size(); cut += 37) {
    const Bytes part(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(cut));
    const Bytes out = Decode(part).output;
    SCOPED_TRACE(cut);
    ASSERT_LE(out.size(), input.size());
    EXPECT_TRUE(std::equal(out.begin(), out.end(), input.begin()));
    EXPECT_EQ(out, lzss_reference::Decode(part));
  }
}

// ---- the fast encoder against the plain one ----

struct Sample {
  std::string name;
  Bytes data;
};

std::vector<Sample> SyntheticSamples() {
  std::vector<Sample> samples;
  samples.push_back({"decimal_numbers", DecimalNumbers()});
  samples.push_back({"decimal_numbers_x8", Repeat(DecimalNumbers(), 8)});
  samples.push_back({"zeros", Bytes(300000, 0)});
  samples.push_back({"word_salad", WordSalad(700000, 11)});
  for (std::size_t period : {2u, 3u, 17u, 18u, 19u, 100u, 4095u, 4096u, 4097u, 5000u}) {
    samples.push_back(
        {"period_" + std::to_string(period), Repeat(RandomBytes(period, 5), 200000 / period + 1)});
  }
  Bytes runs;
  std::mt19937 rng(4);
  while (runs.size() < 400000) {
    runs.insert(runs.end(), rng() % 300 + 1, static_cast<std::uint8_t>(rng() % 4));
  }
  samples.push_back({"runs", runs});
  samples.push_back({"random", RandomBytes(200000, 8)});
  return samples;
}

// Real text and binaries of this machine, a few megabytes in all.
std::vector<Sample> SystemSamples() {
  namespace fs = std::filesystem;
  std::vector<Sample> samples;
  auto add_tree = [&](const fs::path& root, std::size_t budget, std::size_t per_file) {
    std::error_code ec;
    if (!fs::is_directory(root, ec)) return;
    std::vector<fs::path> files;
    for (auto it = fs::recursive_directory_iterator(root, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec)) {
      if (ec) break;
      if (it->is_regular_file(ec) && !it->is_symlink(ec)) files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    Bytes all;
    for (const auto& f : files) {
      if (all.size() >= budget) break;
      const Bytes b = ReadFile(f, per_file);
      all.insert(all.end(), b.begin(), b.end());
    }
    if (!all.empty()) samples.push_back({root.string(), all});
  };
  add_tree("/usr/share/common-licenses", 600000, 600000);
  add_tree("/usr/share/doc/cmake", 1000000, 200000);
  add_tree("/usr/include/c++", 1000000, 100000);
  add_tree("/usr/lib/x86_64-linux-gnu/gconv", 800000, 200000);
  add_tree("/usr/bin", 1200000, 300000);
  add_tree("/usr/share/locale/de", 600000, 200000);
  return samples;
}

TEST(LzssAgainstPlainEncoder, SameStreamsAndSplays) {
  std::vector<Sample> samples = SyntheticSamples();
  const std::vector<Sample> system = SystemSamples();
  ASSERT_GE(system.size(), 3u) << "too few system files to compare on";
  samples.insert(samples.end(), system.begin(), system.end());
  std::uint32_t total_splays = 0;
  for (const Sample& sample : samples) {
    SCOPED_TRACE(sample.name);
    const Coded fast = Encode(sample.data);
    const auto plain = lzss_reference::Encode(sample.data);
    EXPECT_EQ(fast.output.size(), plain.stream.size());
    EXPECT_TRUE(fast.output == plain.stream);
    EXPECT_EQ(fast.splays, plain.splays);
    EXPECT_TRUE(Decode(fast.output).output == sample.data);
    total_splays += fast.splays;
  }
  EXPECT_GT(total_splays, 1000u);  // the comparison covered the splay, not just descents
}

// ---- the operation bracket ----

struct ModeCase {
  std::uint8_t mode;
  bool answer;
  bool held;
  bool busy;
};

void PrintTo(const ModeCase& c, std::ostream* os) {
  char text[16];
  std::snprintf(text, sizeof text, "mode 0x%02X", unsigned{c.mode});
  *os << text;
}

class LzBegin : public ::testing::TestWithParam<ModeCase> {};

TEST_P(LzBegin, ModeTable) {
  const ModeCase c = GetParam();
  EXPECT_EQ(lz::LZBegin(c.mode), c.answer);
  EXPECT_EQ(lz::LzssAreasHeld(), c.held);
  EXPECT_EQ(lz::LzhBusy(), c.busy);
  lz::LZEnd();
  EXPECT_FALSE(lz::LzssAreasHeld());
  EXPECT_FALSE(lz::LzhBusy());
}

INSTANTIATE_TEST_SUITE_P(
    Modes, LzBegin,
    ::testing::Values(ModeCase{0, true, false, false}, ModeCase{1, true, true, false},
                      ModeCase{2, true, false, true}, ModeCase{3, false, false, false},
                      ModeCase{127, false, false, false}, ModeCase{0x80, true, false, false},
                      ModeCase{0x81, true, true, false}, ModeCase{0x82, true, false, true},
                      ModeCase{0xFF, false, false, false}));

TEST(LzBracket, SecondCoderIsRefusedWhileBusy) {
  ASSERT_TRUE(lz::LZBegin(2));
  EXPECT_FALSE(lz::LZBegin(2));
  EXPECT_TRUE(lz::LzhBusy());
  lz::LZEnd();  // the refused call still left mode 2 to end
  EXPECT_FALSE(lz::LzhBusy());
  EXPECT_TRUE(lz::LZBegin(2));
  lz::LZEnd();
  lz::LZEnd();  // nothing left to end
  EXPECT_FALSE(lz::LzhBusy());
}

TEST(LzBracket, HeldAreasAreKeptByASecondBegin) {
  ASSERT_TRUE(lz::LZBegin(1));
  EXPECT_TRUE(lz::LZBegin(1));
  EXPECT_TRUE(lz::LzssAreasHeld());
  lz::LZEnd();
  EXPECT_FALSE(lz::LzssAreasHeld());
}

class LzAcquisitionFailure : public ::testing::TestWithParam<int> {};

TEST_P(LzAcquisitionFailure, FreesEverythingAndAnswersFalse) {
  lz::testing::FailAcquisition(GetParam());
  EXPECT_FALSE(lz::LZBegin(1));
  EXPECT_FALSE(lz::LzssAreasHeld());
  lz::LZEnd();
  // The failure was one-off: the next operation gets its areas and works.
  const Bytes input = FromText("abcabcabc");
  EXPECT_EQ(Decode(Encode(input).output).output, input);
}

INSTANTIATE_TEST_SUITE_P(Areas, LzAcquisitionFailure, ::testing::Values(1, 2, 3));

TEST(LzBracket, ModeZeroAcquiresForTheRunAndFreesAtTheEnd) {
  Bytes out;
  const Bytes input = FromText("abc");
  std::size_t pos = 0;
  lz::SetBlockHooks(
      [&](std::span<std::uint8_t> block) {
        const auto n = static_cast<std::uint32_t>(input.size() - pos);
        std::copy(input.begin() + static_cast<std::ptrdiff_t>(pos), input.end(), block.begin());
        pos += n;
        return n;
      },
      [&](std::span<const std::uint8_t> b) {
        out.insert(out.end(), b.begin(), b.end());
        return static_cast<std::uint32_t>(b.size());
      });
  ASSERT_TRUE(lz::LZBegin(0));
  EXPECT_FALSE(lz::LzssAreasHeld());
  ASSERT_TRUE(lz::LzssPrepareEncode());
  EXPECT_TRUE(lz::LzssAreasHeld());
  lz::LzssEncode();
  lz::LZEnd();
  EXPECT_FALSE(lz::LzssAreasHeld());
  EXPECT_EQ(out, (Bytes{0x07, 0x61, 0x62, 0x63}));

  lz::testing::FailAcquisition(2);
  ASSERT_TRUE(lz::LZBegin(0));
  EXPECT_FALSE(lz::LzssPrepareEncode());
  EXPECT_FALSE(lz::LzssAreasHeld());
  lz::LZEnd();
}

// ---- work areas kept between operations ----

// Keeping is on for the test and off (what is kept freed) after it.
class LzKeptAreas : public ::testing::Test {
 protected:
  void SetUp() override { lz::KeepWorkAreas(true); }
  void TearDown() override { lz::KeepWorkAreas(false); }
};

TEST_F(LzKeptAreas, AreTakenAgainByTheNextOperationAndFreedWhenKeepingStops) {
  const Bytes input = WordSalad(20000, 7);
  EXPECT_EQ(Decode(Encode(input).output).output, input);
  const std::uint64_t allocated = lz::testing::NewWorkAreas();
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Decode(Encode(input).output).output, input);
  EXPECT_EQ(lz::testing::NewWorkAreas(), allocated);
  // Kept is not held: the bracket answers as it does without keeping.
  EXPECT_FALSE(lz::LzssAreasHeld());
  ASSERT_TRUE(lz::LZBegin(1));
  EXPECT_TRUE(lz::LzssAreasHeld());
  lz::LZEnd();
  EXPECT_FALSE(lz::LzssAreasHeld());

  lz::KeepWorkAreas(false);
  EXPECT_EQ(Decode(Encode(input).output).output, input);
  EXPECT_EQ(lz::testing::NewWorkAreas(), allocated + 6);  // three areas for each run
}

TEST_F(LzKeptAreas, AcquisitionFailuresStillHappen) {
  Encode(FromText("abc"));  // the three areas are kept
  for (int nth = 1; nth <= 3; ++nth) {
    lz::testing::FailAcquisition(nth);
    EXPECT_FALSE(lz::LZBegin(1)) << "area " << nth;
    EXPECT_FALSE(lz::LzssAreasHeld());
    lz::LZEnd();
  }
  const Bytes input = FromText("abcabcabc");
  EXPECT_EQ(Decode(Encode(input).output).output, input);
}

// A run after others gives the bytes a run in new areas gives: the decoder starts from a
// window of zeros even when the last run left other bytes there, and the encoder's trees
// (streams and splays) start empty.
TEST_F(LzKeptAreas, ARunGivesWhatARunInNewAreasGives) {
  // A match of 18 at window position 0, then seven literals.
  const Bytes from_zero_window = {0xFE, 0x00, 0x0F, 'a', 'b', 'c', 'd', 'e', 'f', 'g'};
  Bytes expected(18, 0);
  for (char c : std::string("abcdefg")) expected.push_back(static_cast<std::uint8_t>(c));
  const Bytes numbers = DecimalNumbers();
  lz::KeepWorkAreas(false);
  const Coded fresh = Encode(numbers);
  ASSERT_EQ(Decode(from_zero_window).output, expected);
  lz::KeepWorkAreas(true);

  // More than a block, so that the window behind the output block holds text.
  const Bytes text = WordSalad(300000, 5);
  ASSERT_EQ(Decode(Encode(text).output).output, text);
  EXPECT_EQ(Decode(from_zero_window).output, expected);

  Encode(WordSalad(100000, 3));
  const Coded again = Encode(numbers);
  EXPECT_EQ(again.output, fresh.output);
  EXPECT_EQ(again.splays, fresh.splays);
}

}  // namespace
