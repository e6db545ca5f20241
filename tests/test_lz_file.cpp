// The file layer: header layout, CompressFile / DecompressFile on real files in a
// temporary drive C:, their negative results and errors, and damaged input.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "lz/lz_errors.h"
#include "lz/lz_file.h"
#include "lz/lz_format.h"
#include "lz/lz_internal.h"
#include "lz/lz_testing.h"
#include "lz/lzh.h"
#include "lz/lzss.h"
#include "lz_sandbox.h"
#include "platform/clock.h"
#include "platform/drives.h"
#include "platform/fault_injection.h"
#include "platform/files.h"
#include "platform/io_error.h"

namespace {

using platform::testing::FileOp;

const std::uint32_t kOldDate = platform::PackDosTime({1999, 12, 31, 23, 58, 42});
const std::uint32_t kOtherDate = platform::PackDosTime({2004, 2, 29, 12, 0, 0});

std::uint32_t Crc(const std::string& bytes) {
  return static_cast<std::uint32_t>(
      crc32_z(0, reinterpret_cast<const Bytef*>(bytes.data()), bytes.size()));
}

lz::LZHeader HeaderOf(const std::string& file_bytes) {
  lz::HeaderBytes bytes{};
  std::memcpy(bytes.data(), file_bytes.data(), std::min(file_bytes.size(), bytes.size()));
  return lz::DecodeHeader(bytes);
}

// Records every progress call and checks their order and sum.
struct ProgressLog {
  std::vector<std::int32_t> counts;
  std::vector<lz::LZFileInfo> infos;

  lz::ProgressProc Proc() {
    return [this](const lz::LZFileInfo& info, std::int32_t count) {
      counts.push_back(count);
      infos.push_back(info);
    };
  }
  // -1 first, -2 last, nothing else negative; answers the sum of the counts between.
  std::int64_t CheckedSum() const {
    EXPECT_GE(counts.size(), 2u);
    if (counts.size() < 2) return -1;
    EXPECT_EQ(counts.front(), -1);
    EXPECT_EQ(counts.back(), -2);
    std::int64_t sum = 0;
    for (std::size_t i = 1; i + 1 < counts.size(); ++i) {
      EXPECT_GE(counts[i], 0) << "call " << i;
      EXPECT_LE(counts[i], static_cast<std::int32_t>(lz::kBlockSize)) << "call " << i;
      sum += counts[i];
    }
    return sum;
  }
};

class LzFileTest : public ::testing::Test {
 protected:
  void TearDown() override {
    // Whatever happened, the engine is idle again.
    EXPECT_FALSE(lz::LzssAreasHeld());
    EXPECT_FALSE(lz::LzhBusy());
    lz::SetVerify(false);
    lz::testing::FailAcquisition(0);
    lz::testing::FailLzhWorkAreas(false);
  }

  // Writes a source file with a known date-time.
  void Source(const std::string& name, const std::string& bytes, std::uint32_t date = kOldDate) {
    box_.WriteFile(name, bytes);
    ASSERT_EQ(platform::SetFileDosTime(name, date), 0);
  }

  std::uint32_t DateOf(const std::string& name) {
    return platform::GetFileDosTime(name).value_or(0);
  }
  std::uint32_t AttributesOf(const std::string& name) {
    return platform::GetAttributes(name).value_or(0);
  }

  LzSandbox box_;
};

// --- Header layout ---------------------------------------------------------------------

TEST(LzHeader, EncodesAtItsOffsetsAndCutsTexts) {
  lz::LZHeader h;
  h.uncompressed_size = 0x01020304;
  h.body_size = -5;
  h.date_time = 0xA1B2C3D4;
  h.attributes = 0x21;
  h.crc32 = 0xCAFEBABE;
  h.version = "1.2.3.4.5.6";
  h.name = std::string(200, 'n');
  h.reserved = 0;
  h.method = 4;
  const lz::HeaderBytes b = lz::EncodeHeader(h);
  const std::uint8_t start[] = {0x08, 'a',  'Q',  'u',  'a',  'r',  'n',  'M',  '#',  0,    0,
                                0x04, 0x03, 0x02, 0x01, 0xFB, 0xFF, 0xFF, 0xFF, 0xD4, 0xC3, 0xB2,
                                0xA1, 0x21, 0,    0,    0,    0xBE, 0xBA, 0xFE, 0xCA, 8};
  EXPECT_EQ(0, std::memcmp(b.data(), start, sizeof start));
  EXPECT_EQ(std::string(b.begin() + 32, b.begin() + 40), "1.2.3.4.");
  EXPECT_EQ(b[40], 128);
  EXPECT_EQ(std::string(b.begin() + 41, b.begin() + 169), std::string(128, 'n'));
  EXPECT_EQ(b[173], 4);
  for (std::size_t i = 169; i < 173; ++i) EXPECT_EQ(b[i], 0) << i;
  for (std::size_t i = 174; i < 257; ++i) EXPECT_EQ(b[i], 0) << i;

  const lz::LZHeader back = lz::DecodeHeader(b);
  EXPECT_EQ(back.uncompressed_size, h.uncompressed_size);
  EXPECT_EQ(back.body_size, -5);
  EXPECT_EQ(back.date_time, h.date_time);
  EXPECT_EQ(back.crc32, h.crc32);
  EXPECT_EQ(back.version, "1.2.3.4.");
  EXPECT_EQ(back.name, std::string(128, 'n'));
}

TEST(LzHeader, DamagedLengthsAreCutToTheirFields) {
  lz::HeaderBytes b{};
  b[31] = 200;  // version length
  b[40] = 255;  // name length
  for (std::size_t i = 41; i < 257; ++i) b[i] = 'x';
  const lz::LZHeader h = lz::DecodeHeader(b);
  EXPECT_EQ(h.version.size(), 8u);
  EXPECT_EQ(h.name, std::string(128, 'x'));
}

// --- The concrete examples ---------------------------------------------------------------

TEST_F(LzFileTest, EmptyFileCompressesTo257Bytes) {
  Source("C:\\empty.dat", "");
  EXPECT_EQ(lz::CompressFile("C:\\empty.dat", "C:\\empty.lzz", nullptr, nullptr, 1), 257);
  const std::string packed = box_.ReadFile("C:\\empty.lzz");
  ASSERT_EQ(packed.size(), 257u);
  const lz::LZHeader h = HeaderOf(packed);
  EXPECT_EQ(h.uncompressed_size, 0);
  EXPECT_EQ(h.body_size, 0);
  EXPECT_EQ(h.method, 3);
  EXPECT_EQ(h.crc32, 0u);
  EXPECT_EQ(lz::DecompressFile("C:\\empty.lzz", "C:\\back.dat", nullptr, nullptr), 0);
  EXPECT_TRUE(box_.Exists("C:\\back.dat"));
  EXPECT_EQ(box_.ReadFile("C:\\back.dat"), "");
}

TEST_F(LzFileTest, AbcCompressesTo261BytesAndBack) {
  Source("C:\\folder\\abc.txt", "abc");
  ASSERT_EQ(
      platform::SetAttributes("C:\\folder\\abc.txt", platform::faReadOnly | platform::faArchive),
      0);
  EXPECT_EQ(lz::CompressFile("C:\\folder\\abc.txt", "C:\\abc.lzz", nullptr, nullptr, 1), 261);
  const std::string packed = box_.ReadFile("C:\\abc.lzz");
  ASSERT_EQ(packed.size(), 261u);
  EXPECT_EQ(packed.substr(0, 9), std::string("\x08"
                                             "aQuarnM#"));
  EXPECT_EQ(packed.substr(257), std::string("\x07"
                                            "abc"));
  const lz::LZHeader h = HeaderOf(packed);
  EXPECT_EQ(h.uncompressed_size, 3);
  EXPECT_EQ(h.body_size, 4);
  EXPECT_EQ(h.method, 3);
  EXPECT_EQ(h.name, "abc.txt");
  EXPECT_EQ(h.version, "0");
  EXPECT_EQ(h.crc32, 0x352441C2u);
  EXPECT_EQ(h.date_time, kOldDate);
  EXPECT_EQ(h.attributes, platform::faReadOnly | platform::faArchive);
  EXPECT_EQ(packed[9], 0);
  EXPECT_EQ(packed[10], 0);
  for (std::size_t i = 174; i < 257; ++i) EXPECT_EQ(packed[i], 0) << i;
  EXPECT_EQ(DateOf("C:\\abc.lzz"), kOldDate);  // the compressed file carries the source's date

  EXPECT_EQ(lz::DecompressFile("C:\\abc.lzz", "C:\\restored.txt", nullptr, nullptr), 3);
  EXPECT_EQ(box_.ReadFile("C:\\restored.txt"), "abc");
  EXPECT_EQ(DateOf("C:\\restored.txt"), kOldDate);
  EXPECT_EQ(AttributesOf("C:\\restored.txt"), platform::faReadOnly | platform::faArchive);
}

TEST_F(LzFileTest, ModeChoosesTheMethodByte) {
  Source("C:\\a.txt", TextData(5000));
  for (const auto& [mode, method] : {std::pair{0, 2}, std::pair{1, 3}, std::pair{2, 4}}) {
    const std::int64_t written = lz::CompressFile("C:\\a.txt", "C:\\a.lzz", nullptr, nullptr,
                                                  static_cast<std::uint8_t>(mode));
    const std::string packed = box_.ReadFile("C:\\a.lzz");
    EXPECT_EQ(written, static_cast<std::int64_t>(packed.size()));
    EXPECT_EQ(HeaderOf(packed).method, method) << "mode " << mode;
    EXPECT_EQ(HeaderOf(packed).body_size, static_cast<std::int32_t>(packed.size() - 257));
  }
}

TEST_F(LzFileTest, StoredNameIsTheLastComponentCutTo128) {
  Source("C:\\one\\two.d\\three\\data.file", "x");
  ASSERT_GT(lz::CompressFile("C:\\one\\two.d\\three\\data.file", "C:\\p1", nullptr, nullptr, 1), 0);
  EXPECT_EQ(HeaderOf(box_.ReadFile("C:\\p1")).name, "data.file");
  const std::string long_name(200, 'L');
  Source("C:\\" + long_name, "x");
  ASSERT_GT(lz::CompressFile("C:\\" + long_name, "C:\\p2", nullptr, nullptr, 1), 0);
  const std::string packed = box_.ReadFile("C:\\p2");
  EXPECT_EQ(static_cast<std::uint8_t>(packed[40]), 128);
  EXPECT_EQ(HeaderOf(packed).name, long_name.substr(0, 128));
}

TEST_F(LzFileTest, NamesAreCutTo255) {
  // C:\ + 100 + \ + 151 = 255 characters; what follows is cut off.
  const std::string name = "C:\\" + std::string(100, 'd') + "\\" + std::string(151, 'f');
  ASSERT_EQ(name.size(), 255u);
  Source(name, "payload");
  EXPECT_EQ(lz::CompressFile(name + std::string(45, 'z'), "C:\\cut.lzz", nullptr, nullptr, 1),
            257 + 8);
  EXPECT_EQ(
      lz::DecompressFile("C:\\cut.lzz", "C:\\cut.out" + std::string(300, 'q'), nullptr, nullptr),
      7);
}

// A plain file that happens to start like a header is taken for a compressed file; one of
// 256 bytes cannot be one.
TEST_F(LzFileTest, RecognitionDecidesBetweenCopyAndCompression) {
  std::string lookalike(300, 'q');
  std::memcpy(lookalike.data(),
              "\x08"
              "aQuarnM#",
              9);
  Source("C:\\lookalike", lookalike);
  EXPECT_EQ(lz::CompressFile("C:\\lookalike", "C:\\copy", nullptr, nullptr, 1), 300);
  EXPECT_EQ(box_.ReadFile("C:\\copy"), lookalike);

  Source("C:\\short", lookalike.substr(0, 256));
  const std::int64_t written = lz::CompressFile("C:\\short", "C:\\short.lzz", nullptr, nullptr, 1);
  EXPECT_EQ(HeaderOf(box_.ReadFile("C:\\short.lzz")).uncompressed_size, 256);
  EXPECT_EQ(written, static_cast<std::int64_t>(box_.ReadFile("C:\\short.lzz").size()));
  EXPECT_EQ(lz::DecompressFile("C:\\short.lzz", "C:\\short.out", nullptr, nullptr), 256);
  EXPECT_EQ(box_.ReadFile("C:\\short.out"), lookalike.substr(0, 256));
}

TEST_F(LzFileTest, CompressingACompressedFileCopiesItWithTheStoredDate) {
  Source("C:\\src.txt", TextData(1000), kOldDate);
  ASSERT_GT(lz::CompressFile("C:\\src.txt", "C:\\once.lzz", nullptr, nullptr, 1), 0);
  ASSERT_EQ(platform::SetFileDosTime("C:\\once.lzz", kOtherDate), 0);
  const std::string once = box_.ReadFile("C:\\once.lzz");
  ProgressLog log;
  EXPECT_EQ(lz::CompressFile("C:\\once.lzz", "C:\\twice.lzz", nullptr, log.Proc(), 1),
            static_cast<std::int64_t>(once.size()));
  EXPECT_EQ(box_.ReadFile("C:\\twice.lzz"), once);
  EXPECT_EQ(DateOf("C:\\twice.lzz"), kOldDate);
  EXPECT_EQ(log.CheckedSum(), static_cast<std::int64_t>(once.size()));
  EXPECT_EQ(log.counts[log.counts.size() - 2], 0);  // the copy's final read of nothing
}

TEST_F(LzFileTest, DecompressingAPlainFileCopiesItWithItsDateAndAttributes) {
  const std::string data = RandomData(300000);
  Source("C:\\plain.bin", data, kOtherDate);
  ASSERT_EQ(platform::SetAttributes("C:\\plain.bin", platform::faReadOnly | platform::faArchive),
            0);
  ProgressLog log;
  EXPECT_EQ(lz::DecompressFile("C:\\plain.bin", "C:\\copy.bin", nullptr, log.Proc()), 300000);
  EXPECT_EQ(box_.ReadFile("C:\\copy.bin"), data);
  EXPECT_EQ(DateOf("C:\\copy.bin"), kOtherDate);
  EXPECT_EQ(AttributesOf("C:\\copy.bin"), platform::faReadOnly | platform::faArchive);
  EXPECT_EQ(log.CheckedSum(), 300000);
  EXPECT_EQ(log.counts.size(), 2u + 3u);  // 128,000 + 128,000 + 44,000
  EXPECT_EQ(log.infos.front().name, "C:\\copy.bin");
  EXPECT_EQ(log.infos.back().name, "");
  EXPECT_EQ(log.infos.front().crc32, Crc(data));
}

// --- Round trips ------------------------------------------------------------------------------

struct RoundTripCase {
  const char* label;
  std::size_t size;
  bool text;
};

void PrintTo(const RoundTripCase& c, std::ostream* os) { *os << c.label; }

class RoundTripTest : public LzFileTest,
                      public ::testing::WithParamInterface<std::tuple<int, RoundTripCase>> {};

TEST_P(RoundTripTest, RestoresBytesDateAndAttributes) {
  const int mode = std::get<0>(GetParam());
  const RoundTripCase& c = std::get<1>(GetParam());
  const std::string data = c.text ? TextData(c.size) : RandomData(c.size);
  Source("C:\\in\\source.dat", data, kOtherDate);
  ASSERT_EQ(
      platform::SetAttributes("C:\\in\\source.dat", platform::faArchive | platform::faReadOnly), 0);

  ProgressLog pack_log;
  const std::int64_t written = lz::CompressFile("C:\\in\\source.dat", "C:\\packed.lzz", nullptr,
                                                pack_log.Proc(), static_cast<std::uint8_t>(mode));
  const std::string packed = box_.ReadFile("C:\\packed.lzz");
  ASSERT_EQ(written, static_cast<std::int64_t>(packed.size()));
  const lz::LZHeader h = HeaderOf(packed);
  EXPECT_EQ(h.uncompressed_size, static_cast<std::int32_t>(c.size));
  EXPECT_EQ(h.body_size, static_cast<std::int32_t>(packed.size() - 257));
  EXPECT_EQ(h.crc32, Crc(data));
  EXPECT_EQ(pack_log.CheckedSum(), static_cast<std::int64_t>(c.size));
  EXPECT_EQ(pack_log.infos.back().stored_size, h.body_size);
  EXPECT_EQ(lz::BytesIn(), static_cast<std::int64_t>(c.size));

  ProgressLog unpack_log;
  EXPECT_EQ(lz::DecompressFile("C:\\packed.lzz", "C:\\restored.dat", nullptr, unpack_log.Proc()),
            static_cast<std::int64_t>(c.size));
  EXPECT_TRUE(box_.ReadFile("C:\\restored.dat") == data) << "restored bytes differ";
  EXPECT_EQ(DateOf("C:\\restored.dat"), kOtherDate);
  EXPECT_EQ(AttributesOf("C:\\restored.dat"), platform::faArchive | platform::faReadOnly);
  EXPECT_EQ(unpack_log.CheckedSum(), static_cast<std::int64_t>(c.size));
  EXPECT_EQ(unpack_log.infos.front().name, "C:\\restored.dat");
  EXPECT_EQ(unpack_log.infos.front().method, mode == 0 ? 2 : mode == 2 ? 4 : 3);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, RoundTripTest,
    ::testing::Combine(::testing::Values(0, 1, 2),
                       ::testing::Values(RoundTripCase{"empty", 0, true},
                                         RoundTripCase{"one", 1, false},
                                         RoundTripCase{"block_minus_1", 262143, false},
                                         RoundTripCase{"block", 262144, true},
                                         RoundTripCase{"block_plus_1", 262145, false},
                                         RoundTripCase{"two_blocks", 524288, true},
                                         RoundTripCase{"text_10MB", 10u << 20, true},
                                         RoundTripCase{"random_10MB", 10u << 20, false})),
    [](const auto& info) {
      return "mode" + std::to_string(std::get<0>(info.param)) + "_" + std::get<1>(info.param).label;
    });

// LZSS progress follows the blocks: every ReadBlock while compressing (a final 0 at the
// end of the input), every WriteBlock while expanding.
TEST_F(LzFileTest, LzssProgressCountsFollowTheBlocks) {
  const std::string data = TextData(524288);
  Source("C:\\two.txt", data);
  ProgressLog pack;
  ASSERT_GT(lz::CompressFile("C:\\two.txt", "C:\\two.lzz", nullptr, pack.Proc(), 1), 0);
  EXPECT_EQ(pack.counts, (std::vector<std::int32_t>{-1, 262144, 262144, 0, -2}));
  EXPECT_EQ(pack.infos[1].name, "C:\\two.txt");
  EXPECT_EQ(pack.infos[1].stored_size, -1);  // the destination did not exist
  ProgressLog unpack;
  ASSERT_EQ(lz::DecompressFile("C:\\two.lzz", "C:\\two.out", nullptr, unpack.Proc()), 524288);
  EXPECT_EQ(unpack.counts, (std::vector<std::int32_t>{-1, 262144, 262144, 0, -2}));
}

// --- Confirmation ---------------------------------------------------------------------------

struct ConfirmCase {
  std::uint8_t answer;
  std::int64_t compress_result;    // 0: goes on
  std::int64_t decompress_result;  // 0: goes on
};

void PrintTo(const ConfirmCase& c, std::ostream* os) { *os << "answer " << int{c.answer}; }

class ConfirmTest : public LzFileTest, public ::testing::WithParamInterface<ConfirmCase> {};

TEST_P(ConfirmTest, AnswersDecideAndRefusalsLeaveTheDestination) {
  const ConfirmCase& c = GetParam();
  Source("C:\\data.txt", "new data");
  ASSERT_GT(lz::CompressFile("C:\\data.txt", "C:\\data.lzz", nullptr, nullptr, 1), 0);
  box_.WriteFile("C:\\old.lzz", "old destination");
  box_.WriteFile("C:\\old.txt", "old destination");

  int calls = 0;
  lz::LZFileInfo seen_source, seen_dest;
  auto confirm = [&](const lz::LZFileInfo& s, const lz::LZFileInfo& d) {
    ++calls;
    seen_source = s;
    seen_dest = d;
    return c.answer;
  };
  const std::int64_t packed = lz::CompressFile("C:\\data.txt", "C:\\old.lzz", confirm, nullptr, 1);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(seen_source.name, "C:\\data.txt");
  EXPECT_EQ(seen_source.stored_size, 8);
  EXPECT_EQ(seen_source.method, 0);
  EXPECT_EQ(seen_dest.name, "C:\\old.lzz");
  EXPECT_EQ(seen_dest.uncompressed_size, 15);
  if (c.compress_result != 0) {
    EXPECT_EQ(packed, c.compress_result);
    EXPECT_EQ(box_.ReadFile("C:\\old.lzz"), "old destination");
  } else {
    EXPECT_EQ(packed, static_cast<std::int64_t>(box_.ReadFile("C:\\old.lzz").size()));
  }

  calls = 0;
  const std::int64_t unpacked = lz::DecompressFile("C:\\data.lzz", "C:\\old.txt", confirm, nullptr);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(seen_source.name, "data.txt");  // the stored name
  EXPECT_EQ(seen_source.method, 3);
  EXPECT_EQ(seen_source.uncompressed_size, 8);
  if (c.decompress_result != 0) {
    EXPECT_EQ(unpacked, c.decompress_result);
    EXPECT_EQ(box_.ReadFile("C:\\old.txt"), "old destination");
  } else {
    EXPECT_EQ(unpacked, 8);
    EXPECT_EQ(box_.ReadFile("C:\\old.txt"), "new data");
  }
}

INSTANTIATE_TEST_SUITE_P(Answers, ConfirmTest,
                         ::testing::Values(ConfirmCase{0, -100, -100}, ConfirmCase{1, 0, 0},
                                           ConfirmCase{2, -100, -150}, ConfirmCase{3, -100, 0}),
                         [](const auto& info) {
                           return "answer" + std::to_string(info.param.answer);
                         });

TEST_F(LzFileTest, ConfirmationIsNotAskedForAMissingDestination) {
  Source("C:\\data.txt", "abc");
  int calls = 0;
  auto confirm = [&](const lz::LZFileInfo&, const lz::LZFileInfo&) {
    ++calls;
    return std::uint8_t{0};
  };
  EXPECT_EQ(lz::CompressFile("C:\\data.txt", "C:\\data.lzz", confirm, nullptr, 1), 261);
  EXPECT_EQ(lz::DecompressFile("C:\\data.lzz", "C:\\data.out", confirm, nullptr), 3);
  EXPECT_EQ(calls, 0);
}

// --- Negative results and errors ------------------------------------------------------------

TEST_F(LzFileTest, CompressRefusesBadNamesAndMissingSources) {
  Source("C:\\data.txt", "abc");
  EXPECT_EQ(lz::CompressFile("C:\\data.txt", "c:\\DATA.TXT", nullptr, nullptr, 1), -11);
  EXPECT_EQ(lz::CompressFile("", "C:\\x.lzz", nullptr, nullptr, 1), -11);
  EXPECT_EQ(lz::CompressFile("C:\\data.txt", "", nullptr, nullptr, 1), -11);
  // The same file by a relative and a full name would be truncated while it is read.
  EXPECT_EQ(lz::CompressFile("data.txt", "C:\\data.txt", nullptr, nullptr, 1), -11);
  EXPECT_EQ(box_.ReadFile("C:\\data.txt"), "abc");
  EXPECT_EQ(lz::CompressFile("C:\\nothing.txt", "C:\\x.lzz", nullptr, nullptr, 1), -12);
  EXPECT_FALSE(box_.Exists("C:\\x.lzz"));
}

TEST_F(LzFileTest, DecompressRaisesForBadNames) {
  Source("C:\\dir\\a.lzz", "abc");
  try {
    lz::DecompressFile("", "C:\\out", nullptr, nullptr);
    FAIL();
  } catch (const lz::EQuarnLZCompress& e) {
    EXPECT_STREQ(e.what(), "Invalid parameters to LZ function");
  }
  EXPECT_THROW(lz::DecompressFile("C:\\dir\\a.lzz", "", nullptr, nullptr), lz::EQuarnLZCompress);
  ASSERT_TRUE(platform::SetCurrentDir("C:\\dir"));
  try {
    lz::DecompressFile("a.lzz", "c:\\DIR\\.\\A.lzz", nullptr, nullptr);
    FAIL();
  } catch (const lz::EQuarnLZCompress& e) {
    EXPECT_STREQ(e.what(), "File C:\\dir\\a.lzz specified for both Input and Output");
  }
  EXPECT_EQ(box_.ReadFile("C:\\dir\\a.lzz"), "abc");
}

TEST_F(LzFileTest, MissingSourceFallsBackToItsMarkedName) {
  Source("C:\\data.dat", "the data");
  ASSERT_GT(lz::CompressFile("C:\\data.dat", "C:\\DATA.DA~", nullptr, nullptr, 1), 0);
  std::filesystem::remove(box_.Host("C:\\data.dat"));
  // The compressed form of the requested file stands in for it.
  EXPECT_EQ(lz::DecompressFile("C:\\DATA.DAT", "C:\\out.dat", nullptr, nullptr), 8);
  EXPECT_EQ(box_.ReadFile("C:\\out.dat"), "the data");

  // Another file's compressed form does not.
  Source("C:\\other.dat", "other");
  ASSERT_GT(lz::CompressFile("C:\\other.dat", "C:\\report.tx~", nullptr, nullptr, 1), 0);
  try {
    lz::DecompressFile("C:\\report.txt", "C:\\out2", nullptr, nullptr);
    FAIL();
  } catch (const lz::EQuarnLZCompress& e) {
    EXPECT_STREQ(e.what(), "Wrong compressed file: other.dat");
  }
  EXPECT_FALSE(box_.Exists("C:\\out2"));

  // Neither the name nor its marked name: "File not found".
  try {
    lz::DecompressFile("C:\\none.dat", "C:\\out3", nullptr, nullptr);
    FAIL();
  } catch (const platform::EInOutError& e) {
    EXPECT_EQ(e.ErrorCode(), platform::kFileNotFound);
    EXPECT_STREQ(e.what(), "File not found");
  }
  EXPECT_FALSE(box_.Exists("C:\\out3"));

  // A marked name that is the destination itself is refused, not deleted.
  try {
    lz::DecompressFile("C:\\data.dat", "C:\\data.da~", nullptr, nullptr);
    FAIL();
  } catch (const lz::EQuarnLZCompress& e) {
    EXPECT_STREQ(e.what(), "File C:\\data.da~ specified for both Input and Output");
  }
  EXPECT_TRUE(box_.Exists("C:\\DATA.DA~"));
}

// --- One file under two names ---------------------------------------------------------------

enum class SecondName { kSymbolicLink, kHardLink, kOtherDrive };

void PrintTo(SecondName kind, std::ostream* os) {
  *os << (kind == SecondName::kSymbolicLink ? "symbolic link"
          : kind == SecondName::kHardLink   ? "hard link"
                                            : "other drive");
}

class SecondNameTest : public LzFileTest, public ::testing::WithParamInterface<SecondName> {
 protected:
  // Another name for the existing file C:\<name>.
  std::string SecondNameOf(const std::string& name) {
    const std::filesystem::path file = box_.Host("C:\\" + name);
    switch (GetParam()) {
      case SecondName::kSymbolicLink:
        std::filesystem::create_symlink(name, box_.Host("C:\\link-" + name));
        return "C:\\link-" + name;
      case SecondName::kHardLink:
        std::filesystem::create_hard_link(file, box_.Host("C:\\hard-" + name));
        return "C:\\hard-" + name;
      case SecondName::kOtherDrive:
        // Z: onto the folder that holds C:'s root, as Wine's Z: is "/".
        box_.AddDrive('Z', box_.Root());
        return "Z:\\C\\" + name;
    }
    return "";
  }
};

TEST_P(SecondNameTest, CompressingOntoItAnswersMinus11AndKeepsTheSource) {
  const std::string data = TextData(280260);
  Source("C:\\notes.txt", data);
  const std::string other = SecondNameOf("notes.txt");
  ProgressLog log;
  EXPECT_EQ(lz::CompressFile("C:\\notes.txt", other, nullptr, log.Proc(), 1), -11);
  EXPECT_EQ(lz::CompressFile(other, "C:\\notes.txt", nullptr, log.Proc(), 2), -11);
  EXPECT_TRUE(log.counts.empty());
  EXPECT_TRUE(box_.ReadFile("C:\\notes.txt") == data) << "the source was changed";
  EXPECT_EQ(DateOf("C:\\notes.txt"), kOldDate);
}

TEST_P(SecondNameTest, DecompressingOntoItRaises40004AndKeepsTheSource) {
  Source("C:\\notes.txt", TextData(50000));
  ASSERT_GT(lz::CompressFile("C:\\notes.txt", "C:\\notes.lzz", nullptr, nullptr, 1), 0);
  const std::string packed = box_.ReadFile("C:\\notes.lzz");
  const std::string other = SecondNameOf("notes.lzz");
  for (const auto& [source, dest] : {std::pair{std::string("C:\\notes.lzz"), other},
                                     std::pair{other, std::string("C:\\notes.lzz")}}) {
    try {
      lz::DecompressFile(source, dest, nullptr, nullptr);
      FAIL() << source << " -> " << dest;
    } catch (const lz::EQuarnLZCompress& e) {
      EXPECT_EQ(e.what(), "File " + source + " specified for both Input and Output");
    }
    EXPECT_TRUE(box_.ReadFile("C:\\notes.lzz") == packed) << "the compressed file was replaced";
  }
}

#ifdef _WIN32
// Symbolic links are the POSIX layer's: Windows programs meet hard links and drive letters.
INSTANTIATE_TEST_SUITE_P(Kinds, SecondNameTest,
                         ::testing::Values(SecondName::kHardLink, SecondName::kOtherDrive));
#else
INSTANTIATE_TEST_SUITE_P(Kinds, SecondNameTest,
                         ::testing::Values(SecondName::kSymbolicLink, SecondName::kHardLink,
                                           SecondName::kOtherDrive));
#endif

// A NUL byte in a name would cut it short at the host, onto the source itself: the name is
// refused as invalid instead.
TEST_F(LzFileTest, NameWithANulByteIsInvalidNotCutShort) {
  const std::string data = TextData(5000);
  Source("C:\\notes.txt", data);
  ASSERT_GT(lz::CompressFile("C:\\notes.txt", "C:\\notes.lzz", nullptr, nullptr, 1), 0);
  const std::string packed = box_.ReadFile("C:\\notes.lzz");
  const auto expect_invalid = [](const std::function<void()>& operation) {
    try {
      operation();
      ADD_FAILURE() << "no error";
    } catch (const platform::EInOutError& e) {
      EXPECT_EQ(e.ErrorCode(), platform::kInvalidFilename);
      EXPECT_STREQ(e.what(), "Invalid filename");
    }
  };
  const std::string cut_to_source("C:\\notes.txt\0.lzz", 17);
  const std::string cut_to_packed("C:\\notes.lzz\0.txt", 17);
  expect_invalid([&] { lz::CompressFile("C:\\notes.txt", cut_to_source, nullptr, nullptr, 1); });
  expect_invalid([&] { lz::DecompressFile("C:\\notes.lzz", cut_to_packed, nullptr, nullptr); });
  EXPECT_TRUE(box_.ReadFile("C:\\notes.txt") == data);
  EXPECT_TRUE(box_.ReadFile("C:\\notes.lzz") == packed);
}

// --- Nested operations ------------------------------------------------------------------------

enum class Outer { kCompressLzss, kCompressLzh, kDecompressLzss, kDecompressLzh };

void PrintTo(Outer outer, std::ostream* os) {
  static const char* const kNames[] = {"compress LZSS", "compress second coder", "decompress LZSS",
                                       "decompress second coder"};
  *os << kNames[static_cast<int>(outer)];
}

class NestedOperationTest : public LzFileTest, public ::testing::WithParamInterface<Outer> {};

// An operation started from a progress callback of a running one would take over the
// engine's files, counters and work areas: it is refused, and the running one ends as if
// nothing had been tried.
TEST_P(NestedOperationTest, IsRefusedWith40002AndTheRunningOneGoesOn) {
  const bool compress = GetParam() == Outer::kCompressLzss || GetParam() == Outer::kCompressLzh;
  const std::uint8_t mode =
      GetParam() == Outer::kCompressLzh || GetParam() == Outer::kDecompressLzh ? 2 : 1;
  const std::string data = TextData(700000);
  Source("C:\\data.txt", data);
  Source("C:\\other.txt", TextData(2000, 2));
  ASSERT_GT(lz::CompressFile("C:\\other.txt", "C:\\other.lzz", nullptr, nullptr, 1), 0);
  ASSERT_GT(lz::CompressFile("C:\\data.txt", "C:\\data.lzz", nullptr, nullptr, mode), 0);
  const std::string expected = compress ? box_.ReadFile("C:\\data.lzz") : data;

  int refused = 0;
  bool tried = false;
  const auto progress = [&](const lz::LZFileInfo&, std::int32_t count) {
    if (count < 0 || tried) return;
    tried = true;
    lz::CheckResult check;
    const std::function<void()> nested[] = {
        [] { lz::CompressFile("C:\\other.txt", "C:\\n1.lzz", nullptr, nullptr, 1); },
        [] { lz::CompressFile("C:\\other.txt", "C:\\n2.lzz", nullptr, nullptr, 2); },
        [] { lz::DecompressFile("C:\\other.lzz", "C:\\n3.txt", nullptr, nullptr); },
        [&check] { lz::CheckCompressedFile("C:\\other.lzz", check); }};
    for (const auto& operation : nested) {
      try {
        operation();
        ADD_FAILURE() << "a nested operation ran";
      } catch (const lz::EQuarnLZCompress&) {
        ADD_FAILURE() << "not the base class";
      } catch (const lz::EQuarnLZError& e) {
        EXPECT_STREQ(e.what(), "LZ-Initialisation failed");
        ++refused;
      }
    }
  };
  const std::int64_t result =
      compress ? lz::CompressFile("C:\\data.txt", "C:\\out", nullptr, progress, mode)
               : lz::DecompressFile("C:\\data.lzz", "C:\\out", nullptr, progress);
  EXPECT_EQ(refused, 4);
  EXPECT_EQ(result, static_cast<std::int64_t>(expected.size()));
  EXPECT_TRUE(box_.ReadFile("C:\\out") == expected) << "the running operation was disturbed";
  for (const char* name : {"C:\\n1.lzz", "C:\\n2.lzz", "C:\\n3.txt"}) {
    EXPECT_FALSE(box_.Exists(name)) << name;
  }
  // Both coders are free again.
  EXPECT_FALSE(lz::LzhBusy());
  EXPECT_GT(lz::CompressFile("C:\\other.txt", "C:\\later.lzz", nullptr, nullptr, 2), 0);
  EXPECT_EQ(lz::DecompressFile("C:\\later.lzz", "C:\\later.txt", nullptr, nullptr), 2000);
}

INSTANTIATE_TEST_SUITE_P(Operations, NestedOperationTest,
                         ::testing::Values(Outer::kCompressLzss, Outer::kCompressLzh,
                                           Outer::kDecompressLzss, Outer::kDecompressLzh));

TEST_F(LzFileTest, InitialisationFailureRaises40002BeforeAnyFileIsOpened) {
  Source("C:\\data.txt", "abc");
  ASSERT_GT(lz::CompressFile("C:\\data.txt", "C:\\data.lzz", nullptr, nullptr, 1), 0);
  for (int nth = 1; nth <= 3; ++nth) {
    lz::testing::FailAcquisition(nth);
    try {
      lz::CompressFile("C:\\data.txt", "C:\\fresh.lzz", nullptr, nullptr, 1);
      FAIL();
    } catch (const lz::EQuarnLZCompress&) {
      FAIL() << "not the base class";
    } catch (const lz::EQuarnLZError& e) {
      EXPECT_STREQ(e.what(), "LZ-Initialisation failed");
    }
    EXPECT_FALSE(box_.Exists("C:\\fresh.lzz"));
    lz::testing::FailAcquisition(nth);
    EXPECT_THROW(lz::DecompressFile("C:\\data.lzz", "C:\\fresh.txt", nullptr, nullptr),
                 lz::EQuarnLZError);
    EXPECT_FALSE(box_.Exists("C:\\fresh.txt"));
  }
  // A second run of the second coder while the first holds its busy flag.
  ASSERT_TRUE(lz::LZBegin(2));
  EXPECT_THROW(lz::CompressFile("C:\\data.txt", "C:\\fresh.lzz", nullptr, nullptr, 2),
               lz::EQuarnLZError);
  EXPECT_FALSE(box_.Exists("C:\\fresh.lzz"));
  lz::LZEnd();
  EXPECT_FALSE(lz::LzhBusy());
}

// The second coder's -20 is a failed start, never a body size in the header.
TEST_F(LzFileTest, SecondCoderWithoutMemoryRaises40002) {
  Source("C:\\data.txt", TextData(3000));
  lz::testing::FailLzhWorkAreas(true);
  ProgressLog log;
  try {
    lz::CompressFile("C:\\data.txt", "C:\\data.lzz", nullptr, log.Proc(), 2);
    FAIL();
  } catch (const lz::EQuarnLZError& e) {
    EXPECT_STREQ(e.what(), "LZ-Initialisation failed");
  }
  EXPECT_EQ(log.counts.front(), -1);
  EXPECT_EQ(log.counts.back(), -2);
  const std::string packed = box_.ReadFile("C:\\data.lzz");
  ASSERT_EQ(packed.size(), 257u);
  EXPECT_EQ(HeaderOf(packed).body_size, 0);
}

// The header holds the body size in 32 bits. A source whose body could outgrow it (all
// literals: 9/8 of its size and a flag byte) is refused before anything is written, even
// when it would in fact compress well, as these zeros would.
TEST_F(LzFileTest, SourcesWhoseBodyCouldPass2GiBAreRefusedUpFront) {
  constexpr std::uintmax_t kLargestAccepted = 1908874352;  // + 238,609,294 + 1 = 2^31 - 1
  box_.WriteFile("C:\\kept.lzz", "an earlier file");
  for (const std::uintmax_t size : {kLargestAccepted + 1, std::uintmax_t{1} << 31}) {
    box_.WriteFile("C:\\huge.bin", "");
    std::filesystem::resize_file(box_.Host("C:\\huge.bin"), size);  // sparse
    for (const char* dest : {"C:\\huge.lzz", "C:\\kept.lzz"}) {
      ProgressLog log;
      try {
        lz::CompressFile("C:\\huge.bin", dest, nullptr, log.Proc(), 1);
        FAIL() << size;
      } catch (const lz::EQuarnLZCompress& e) {
        EXPECT_STREQ(e.what(),
                     "C:\\huge.bin is too large to compress: its compressed data could reach "
                     "2 GiB");
      }
      EXPECT_TRUE(log.counts.empty());
    }
    EXPECT_FALSE(box_.Exists("C:\\huge.lzz"));
    EXPECT_EQ(box_.ReadFile("C:\\kept.lzz"), "an earlier file");
  }
  // One byte less passes: the operation goes on to read the source for its CRC-32, here
  // stopped by a failing first read rather than spending seconds on the zeros.
  std::filesystem::resize_file(box_.Host("C:\\huge.bin"), kLargestAccepted);
  platform::testing::FailNthOperation(1, FileOp::kRead, 23);
  try {
    lz::CompressFile("C:\\huge.bin", "C:\\kept.lzz", nullptr, nullptr, 1);
    FAIL();
  } catch (const platform::EInOutError& e) {
    EXPECT_EQ(e.ErrorCode(), 23);
  }
  EXPECT_EQ(box_.ReadFile("C:\\kept.lzz"), "an earlier file");
}

TEST_F(LzFileTest, VerificationReportsAChangedBody) {
  Source("C:\\data.txt", TextData(20000));
  ASSERT_GT(lz::CompressFile("C:\\data.txt", "C:\\data.lzz", nullptr, nullptr, 1), 0);
  std::string packed = box_.ReadFile("C:\\data.lzz");
  packed[258] ^= 0x20;  // a literal of the first group
  box_.WriteFile("C:\\bad.lzz", packed);
  EXPECT_FALSE(lz::SetVerify(true));
  EXPECT_EQ(lz::DecompressFile("C:\\bad.lzz", "C:\\bad.txt", nullptr, nullptr), -200);
  EXPECT_TRUE(box_.Exists("C:\\bad.txt"));
  EXPECT_EQ(lz::DecompressFile("C:\\data.lzz", "C:\\good.txt", nullptr, nullptr), 20000);
  EXPECT_TRUE(lz::SetVerify(false));
  EXPECT_EQ(lz::DecompressFile("C:\\bad.lzz", "C:\\bad.txt", nullptr, nullptr), 20000);
}

TEST_F(LzFileTest, CutSecondCoderStreamAnswersItsCode) {
  Source("C:\\data.txt", TextData(50000));
  ASSERT_GT(lz::CompressFile("C:\\data.txt", "C:\\data.lzz", nullptr, nullptr, 2), 0);
  const std::string packed = box_.ReadFile("C:\\data.lzz");
  box_.WriteFile("C:\\cut.lzz", packed.substr(0, packed.size() / 2));
  EXPECT_EQ(lz::DecompressFile("C:\\cut.lzz", "C:\\cut.txt", nullptr, nullptr), lz::kLzhInputEnded);
  const std::string partial = box_.ReadFile("C:\\cut.txt");
  EXPECT_EQ(partial, TextData(50000).substr(0, partial.size()));
}

TEST_F(LzFileTest, ReadOnlyDestinations) {
  Source("C:\\data.txt", "abc");
  ASSERT_GT(lz::CompressFile("C:\\data.txt", "C:\\data.lzz", nullptr, nullptr, 1), 0);
  box_.WriteFile("C:\\ro.txt", "old");
  ASSERT_EQ(platform::SetAttributes("C:\\ro.txt", platform::faReadOnly), 0);
  EXPECT_EQ(lz::DecompressFile("C:\\data.lzz", "C:\\ro.txt", nullptr, nullptr), 3);
  EXPECT_EQ(box_.ReadFile("C:\\ro.txt"), "abc");

  box_.WriteFile("C:\\ro.lzz", "old");
  ASSERT_EQ(platform::SetAttributes("C:\\ro.lzz", platform::faReadOnly), 0);
  try {
    lz::CompressFile("C:\\data.txt", "C:\\ro.lzz", nullptr, nullptr, 1);
    FAIL();
  } catch (const platform::EInOutError& e) {
    EXPECT_STREQ(e.what(), "File access denied");
  }
  EXPECT_EQ(box_.ReadFile("C:\\ro.lzz"), "old");
}

#ifndef _WIN32  // links are the POSIX layer's
// Every file operation of a run failing in turn: the error passes, -2 is still the last
// report, and the engine is idle afterwards (checked in TearDown and by the next run).
// A destination that is a link to a read-only file outside every drive: the link is
// replaced by the restored file, and its target keeps its bytes and its permissions.
TEST_F(LzFileTest, DecompressingOntoALinkLeavesItsTargetAlone) {
  Source("C:\\data.txt", "abc");
  ASSERT_GT(lz::CompressFile("C:\\data.txt", "C:\\data.lzz", nullptr, nullptr, 1), 0);
  const std::filesystem::path outside = box_.Root() / "outside.dat";
  std::ofstream(outside, std::ios::binary) << "theirs";
  const auto read_only = std::filesystem::perms::owner_read | std::filesystem::perms::group_read;
  std::filesystem::permissions(outside, read_only);
  std::filesystem::create_symlink(outside, box_.Host("C:\\link.txt"));
  EXPECT_EQ(lz::DecompressFile("C:\\data.lzz", "C:\\link.txt", nullptr, nullptr), 3);
  EXPECT_FALSE(std::filesystem::is_symlink(box_.Host("C:\\link.txt")));
  EXPECT_EQ(box_.ReadFile("C:\\link.txt"), "abc");
  EXPECT_EQ(std::filesystem::status(outside).permissions() & std::filesystem::perms::all,
            read_only);
  std::ifstream in(outside, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "theirs");
}
#endif

TEST_F(LzFileTest, AFailureAtAnyOperationCleansUp) {
  const std::string data = TextData(300000);
  Source("C:\\data.txt", data);
  for (int mode : {1, 2}) {
    for (bool compress : {true, false}) {
      auto run = [&](const lz::ProgressProc& progress) {
        return compress ? lz::CompressFile("C:\\data.txt", "C:\\data.lzz", nullptr, progress,
                                           static_cast<std::uint8_t>(mode))
                        : lz::DecompressFile("C:\\good.lzz", "C:\\data.out", nullptr, progress);
      };
      ASSERT_GT(lz::CompressFile("C:\\data.txt", "C:\\good.lzz", nullptr, nullptr,
                                 static_cast<std::uint8_t>(mode)),
                0);
      platform::testing::ResetFaults();
      run(nullptr);
      const int operations = platform::testing::OperationCount();
      ASSERT_GT(operations, 4);
      for (int n = 1; n <= operations; ++n) {
        platform::testing::ResetFaults();
        platform::testing::FailNthOperation(n, FileOp::kAny, 29);
        ProgressLog log;
        try {
          run(log.Proc());
        } catch (const platform::EInOutError& e) {
          EXPECT_EQ(e.ErrorCode(), 29) << e.what();
        }
        if (!log.counts.empty()) {
          EXPECT_EQ(log.counts.front(), -1) << "operation " << n;
          EXPECT_EQ(log.counts.back(), -2) << "operation " << n;
        }
        ASSERT_FALSE(lz::LzssAreasHeld()) << "operation " << n;
        ASSERT_FALSE(lz::LzhBusy()) << "operation " << n;
      }
      platform::testing::ResetFaults();
      ProgressLog log;
      ASSERT_GT(run(log.Proc()), 0);
      EXPECT_EQ(log.CheckedSum(), 300000);
    }
  }
}

TEST_F(LzFileTest, AnExceptionFromTheProgressCallbackStillEndsTheOperation) {
  Source("C:\\data.txt", TextData(300000));
  std::vector<std::int32_t> counts;
  auto progress = [&](const lz::LZFileInfo&, std::int32_t count) {
    counts.push_back(count);
    if (count > 0) throw std::runtime_error("stop");
  };
  EXPECT_THROW(lz::CompressFile("C:\\data.txt", "C:\\data.lzz", nullptr, progress, 1),
               std::runtime_error);
  EXPECT_EQ(counts, (std::vector<std::int32_t>{-1, 262144, -2}));
  EXPECT_EQ(HeaderOf(box_.ReadFile("C:\\data.lzz")).body_size, 0);
}

// --- Damaged input ----------------------------------------------------------------------------

// Cut at every length, with bits flipped and header bytes changed: each decompression
// answers or raises an engine or I/O error, never crashes (and never reads outside its
// buffers under AddressSanitizer).
TEST_F(LzFileTest, DamagedFilesNeverCrash) {
  const std::string data = TextData(3000) + RandomData(1000);
  Source("C:\\data.bin", data);
  for (int mode : {1, 2}) {
    ASSERT_GT(lz::CompressFile("C:\\data.bin", "C:\\good.lzz", nullptr, nullptr,
                               static_cast<std::uint8_t>(mode)),
              0);
    const std::string good = box_.ReadFile("C:\\good.lzz");
    std::vector<std::string> damaged;
    for (std::size_t size = 0; size <= good.size(); size += (size < 300 ? 1 : 37)) {
      damaged.push_back(good.substr(0, size));
    }
    for (std::size_t bit = 257 * 8; bit < good.size() * 8; bit += 97) {
      std::string d = good;
      d[bit / 8] = static_cast<char>(d[bit / 8] ^ (1 << (bit % 8)));
      damaged.push_back(d);
    }
    for (int method : {0, 1, 2, 3, 4, 5, 255}) {
      std::string d = good;
      d[173] = static_cast<char>(method);
      damaged.push_back(d);
    }
    for (int length : {129, 200, 255}) {
      std::string d = good;
      d[40] = static_cast<char>(length);
      damaged.push_back(d);
    }
    for (const std::string& d : damaged) {
      box_.WriteFile("C:\\damaged.lzz", d);
      lz::LZFileInfo info;
      ASSERT_GE(lz::GetFileInfo("C:\\damaged.lzz", info), 0);
      EXPECT_LE(info.name.size(), 128u);
      const std::int64_t result =
          lz::DecompressFile("C:\\damaged.lzz", "C:\\damaged.out", nullptr, nullptr);
      EXPECT_TRUE(result >= 0 || result == lz::kLzhInputEnded) << result;
      if (result >= 0) {
        EXPECT_EQ(result, static_cast<std::int64_t>(box_.ReadFile("C:\\damaged.out").size()));
      }
    }
  }
}

TEST_F(LzFileTest, OddMethodBytesDecodeAsLzss) {
  Source("C:\\data.txt", TextData(10000));
  ASSERT_GT(lz::CompressFile("C:\\data.txt", "C:\\data.lzz", nullptr, nullptr, 1), 0);
  std::string packed = box_.ReadFile("C:\\data.lzz");
  for (int method : {0, 1, 2, 5, 99, 255}) {
    packed[173] = static_cast<char>(method);
    box_.WriteFile("C:\\odd.lzz", packed);
    EXPECT_EQ(lz::DecompressFile("C:\\odd.lzz", "C:\\odd.txt", nullptr, nullptr), 10000);
    EXPECT_EQ(box_.ReadFile("C:\\odd.txt"), TextData(10000)) << method;
  }
}

// A file whose writing stopped after the first header keeps body size 0 and still decodes.
TEST_F(LzFileTest, BodySizeIsNotReadWhenDecoding) {
  Source("C:\\data.txt", TextData(10000));
  ASSERT_GT(lz::CompressFile("C:\\data.txt", "C:\\data.lzz", nullptr, nullptr, 1), 0);
  std::string packed = box_.ReadFile("C:\\data.lzz");
  std::memset(packed.data() + 15, 0, 4);
  box_.WriteFile("C:\\zero.lzz", packed);
  EXPECT_EQ(lz::DecompressFile("C:\\zero.lzz", "C:\\zero.txt", nullptr, nullptr), 10000);
}

// --- Information and names --------------------------------------------------------------------

TEST_F(LzFileTest, GetFileInfoOfCompressedPlainAndMissingFiles) {
  Source("C:\\data.txt", "hello", kOtherDate);
  ASSERT_GT(lz::CompressFile("C:\\data.txt", "C:\\data.lzz", nullptr, nullptr, 1), 0);
  lz::LZFileInfo info;
  info.name = "stale";
  EXPECT_EQ(lz::GetFileInfo("", info), -16);
  EXPECT_EQ(info.name, "");
  EXPECT_EQ(lz::GetFileInfo("C:\\missing", info), -16);

  EXPECT_EQ(lz::GetFileInfo("C:\\data.lzz", info), 1);
  EXPECT_EQ(info.name, "data.txt");
  EXPECT_EQ(info.uncompressed_size, 5);
  EXPECT_EQ(info.stored_size,
            static_cast<std::int64_t>(box_.ReadFile("C:\\data.lzz").size() - 257));
  EXPECT_EQ(info.date_time, kOtherDate);
  EXPECT_EQ(info.crc32, Crc("hello"));
  EXPECT_EQ(info.method, 3);
  EXPECT_EQ(info.version, "0");

  EXPECT_EQ(lz::GetFileInfo("C:\\data.txt", info), 0);
  EXPECT_EQ(info.name, "C:\\data.txt");
  EXPECT_EQ(info.stored_size, 5);
  EXPECT_EQ(info.uncompressed_size, 5);
  EXPECT_EQ(info.crc32, Crc("hello"));
  EXPECT_EQ(info.date_time, kOtherDate);
  EXPECT_EQ(info.attributes, platform::faArchive);
  EXPECT_EQ(info.method, 0);
}

struct MarkedCase {
  const char* name;
  const char* marked;
};

void PrintTo(const MarkedCase& c, std::ostream* os) { *os << '"' << c.name << '"'; }

class MarkedNameTest : public ::testing::TestWithParam<MarkedCase> {};

TEST_P(MarkedNameTest, ReplacesTheLastCharacterOfTheExtension) {
  EXPECT_EQ(lz::MarkedName(GetParam().name), GetParam().marked);
}

INSTANTIATE_TEST_SUITE_P(
    Names, MarkedNameTest,
    ::testing::Values(MarkedCase{"DATA.DAT", "DATA.DA~"}, MarkedCase{"README", "README.~"},
                      MarkedCase{"NAME.", "NAME.~"}, MarkedCase{"C:\\A.B\\FILE", "C:\\A.B\\FILE.~"},
                      MarkedCase{"C:\\x\\a.b.c", "C:\\x\\a.b.~"},
                      MarkedCase{"C:FILE.X", "C:FILE.~"}, MarkedCase{"", ".~"}));

TEST(EngineErrors, MessagesOfTheTable) {
  EXPECT_EQ(lz::EngineMessage(40000), "No valid filename in list-file");
  EXPECT_EQ(lz::EngineMessage(40008), "Cannot re-create directory structure %s");
  EXPECT_EQ(lz::EngineMessage(39999), "");
  try {
    lz::RaiseEngineError(lz::EngineErrorClass::kCompress, 40001, "C:\\x.lzz");
  } catch (const lz::EQuarnLZCompress& e) {
    EXPECT_STREQ(e.what(), "C:\\x.lzz is an invalid LZ Archive");
  }
  try {
    lz::RaiseEngineError(lz::EngineErrorClass::kError, 40005);
  } catch (const lz::EQuarnLZCompress&) {
    ADD_FAILURE() << "wrong class";
  } catch (const lz::EQuarnLZError& e) {
    EXPECT_STREQ(e.what(), "Cannot create unique temporary file name");
  }
}

// A counted copy that meets the end of its input early raises "Read beyond end of file".
TEST_F(LzFileTest, CountedCopyStopsAtTheEnd) {
  Source("C:\\ten.txt", "0123456789");
  bool raised = false;
  auto progress = [&](const lz::LZFileInfo&, std::int32_t count) {
    if (count != -1) return;
    try {
      lz::CopyStream(20, 2);
    } catch (const platform::EInOutError& e) {
      raised = e.ErrorCode() == platform::kReadPastEnd;
    }
  };
  EXPECT_EQ(lz::DecompressFile("C:\\ten.txt", "C:\\ten.out", nullptr, progress), 0);
  EXPECT_TRUE(raised);
}

}  // namespace
