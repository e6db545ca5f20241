// The engine's support routines, on real files in a temporary drive C:.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "lz/lz_file.h"
#include "lz/lz_format.h"
#include "lz/lz_support.h"
#include "lz_sandbox.h"
#include "platform/clock.h"
#include "platform/fault_injection.h"
#include "platform/files.h"
#include "platform/io_error.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

class LzSupportTest : public ::testing::Test {
 protected:
  LzSandbox box_;
};

// --- CRC-32 -------------------------------------------------------------------------------

std::uint32_t ZlibCrc(const std::string& bytes) {
  return static_cast<std::uint32_t>(
      crc32_z(0, reinterpret_cast<const Bytef*>(bytes.data()), bytes.size()));
}

TEST_F(LzSupportTest, FileCrc32OfKnownAndLargeFiles) {
  box_.WriteFile("C:\\check.txt", "123456789");
  EXPECT_EQ(lz::FileCRC32("C:\\check.txt"), 0xCBF43926u);  // the standard check value
  for (std::size_t size : {64000u, 64001u, 200000u}) {
    const std::string data = RandomData(size, static_cast<unsigned>(size));
    box_.WriteFile("C:\\big.bin", data);
    EXPECT_EQ(lz::FileCRC32("C:\\big.bin"), ZlibCrc(data)) << size;
  }
}

TEST_F(LzSupportTest, FileCrc32OfEmptyAndMissingFilesIsZero) {
  box_.WriteFile("C:\\empty", "");
  EXPECT_EQ(lz::FileCRC32("C:\\empty"), 0u);
  EXPECT_EQ(lz::FileCRC32("C:\\missing"), 0u);
}

// A second read is made only for a file longer than one 64,000-byte block; a failing read
// after the open raises.
TEST_F(LzSupportTest, FileCrc32ReadsInBlocksOf64000) {
  box_.WriteFile("C:\\one", std::string(64000, 'x'));
  box_.WriteFile("C:\\two", std::string(64001, 'x'));
  platform::testing::FailNthOperation(2, platform::testing::FileOp::kRead, 23);
  EXPECT_EQ(lz::FileCRC32("C:\\one"), ZlibCrc(std::string(64000, 'x')));
  platform::testing::ResetFaults();
  platform::testing::FailNthOperation(2, platform::testing::FileOp::kRead, 23);
  try {
    lz::FileCRC32("C:\\two");
    FAIL() << "the failing second read did not raise";
  } catch (const platform::EInOutError& e) {
    EXPECT_EQ(e.ErrorCode(), 23);
  }
}

TEST(Crc32Update, FoldsInPiecesLikeOnce) {
  const std::string data = RandomData(70000);
  std::uint32_t reg = 0xFFFFFFFFu;
  reg = lz::CRC32Update(reg, data.data(), 65535);
  reg = lz::CRC32Update(reg, data.data() + 65535, 0);  // a count of 0 changes nothing
  reg = lz::CRC32Update(reg, data.data() + 65535, static_cast<std::uint16_t>(70000 - 65535));
  EXPECT_EQ(~reg, ZlibCrc(data));
  EXPECT_EQ(lz::CRC32Update(0x12345678u, data.data(), 0), 0x12345678u);
}

// --- Sizes, dates, deletion ---------------------------------------------------------------

TEST_F(LzSupportTest, FileSizeAndDateOfName) {
  box_.WriteFile("C:\\five", "12345");
  EXPECT_EQ(lz::FileSizeOfName("C:\\five"), 5);
  EXPECT_EQ(lz::FileSizeOfName("C:\\missing"), 0);
  EXPECT_EQ(lz::FileDateOfName("C:\\missing"), 0u);

  ASSERT_EQ(platform::SetFileDosTime("C:\\five", platform::PackDosTime({2001, 9, 8, 7, 6, 4})), 0);
  EXPECT_EQ(lz::FileDateOfName("C:\\five"), platform::PackDosTime({2001, 9, 8, 7, 6, 4}));
  platform::testing::HoldOpen("C:\\five");  // cannot be opened: 0, not -1
  EXPECT_EQ(lz::FileDateOfName("C:\\five"), 0u);
  EXPECT_EQ(lz::FileSizeOfName("C:\\five"), 0);
}

TEST_F(LzSupportTest, DeleteFileForcedRemovesReadOnlyFiles) {
  EXPECT_FALSE(lz::DeleteFileForced("C:\\missing"));
  box_.WriteFile("C:\\ro.dat", "x");
  ASSERT_EQ(platform::SetAttributes("C:\\ro.dat", platform::faReadOnly | platform::faArchive), 0);
  ASSERT_EQ(platform::DeleteFile("C:\\ro.dat"), platform::kAccessDenied);
  EXPECT_TRUE(lz::DeleteFileForced("C:\\ro.dat"));
  EXPECT_FALSE(box_.Exists("C:\\ro.dat"));

  box_.WriteFile("C:\\held.dat", "x");
  platform::testing::HoldOpen("C:\\held.dat");
  EXPECT_FALSE(lz::DeleteFileForced("C:\\held.dat"));
  EXPECT_TRUE(box_.Exists("C:\\held.dat"));
}

#ifndef _WIN32  // links and permission bits are the POSIX layer's
// Only the link is deleted: its target, here a read-only file outside every drive, keeps
// its content and its permissions.
TEST_F(LzSupportTest, DeleteFileForcedThroughALinkLeavesItsTargetAlone) {
  const std::filesystem::path outside = box_.Root() / "outside.dat";
  std::ofstream(outside, std::ios::binary) << "not the engine's";
  std::filesystem::permissions(outside, std::filesystem::perms::owner_read |
                                            std::filesystem::perms::group_read |
                                            std::filesystem::perms::others_read);
  std::filesystem::create_symlink(outside, box_.Host("C:\\link.dat"));
  EXPECT_TRUE(lz::DeleteFileForced("C:\\link.dat"));
  EXPECT_FALSE(std::filesystem::is_symlink(box_.Host("C:\\link.dat")));
  EXPECT_EQ(std::filesystem::status(outside).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::group_read |
                std::filesystem::perms::others_read);
  std::ifstream in(outside, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "not the engine's");
}
#endif

// A time outside the DOS range is held to the range's nearest end, never answered as -1:
// the answer becomes a compressed file's date, and then a restored file's.
TEST_F(LzSupportTest, FileDateOfNameHoldsTimesToTheDosRange) {
  box_.WriteFile("C:\\old.dat", "o");
  box_.WriteFile("C:\\new.dat", "n");
  box_.SetLocalTime("C:\\old.dat", 1975, 6, 1, 12, 0, 0);
  box_.SetLocalTime("C:\\new.dat", 2110, 3, 4, 5, 6, 7);
  EXPECT_EQ(lz::FileDateOfName("C:\\old.dat"), platform::PackDosTime({1980, 1, 1, 0, 0, 0}));
  EXPECT_EQ(lz::FileDateOfName("C:\\new.dat"), platform::PackDosTime({2107, 12, 31, 23, 59, 58}));
  box_.SetLocalTime("C:\\old.dat", 1980, 1, 1, 0, 0, 1);
  box_.SetLocalTime("C:\\new.dat", 2107, 12, 31, 23, 59, 59);
  EXPECT_EQ(lz::FileDateOfName("C:\\old.dat"), platform::PackDosTime({1980, 1, 1, 0, 0, 0}));
  EXPECT_EQ(lz::FileDateOfName("C:\\new.dat"), platform::PackDosTime({2107, 12, 31, 23, 59, 58}));
}

// --- Header check -------------------------------------------------------------------------

std::string HeaderLike(std::size_t size, std::uint8_t name_length) {
  std::string bytes(size, '\0');
  std::memcpy(bytes.data(),
              "\x08"
              "aQuarnM#",
              9);
  if (size > lz::kNameAt) bytes[lz::kNameAt] = static_cast<char>(name_length);
  return bytes;
}

struct HeaderCase {
  const char* label;
  std::string bytes;
  bool compressed;
};

void PrintTo(const HeaderCase& c, std::ostream* os) { *os << c.label; }

class IsCompressedFileTest : public LzSupportTest,
                             public ::testing::WithParamInterface<HeaderCase> {};

TEST_P(IsCompressedFileTest, AnswersAndKeepsThePosition) {
  box_.WriteFile("C:\\probe", GetParam().bytes);
  platform::File file = platform::File::Open("C:\\probe", platform::OpenMode::kRead);
  const std::int64_t start = std::min<std::int64_t>(100, file.Size());
  file.Seek(start);
  lz::HeaderBytes header;
  header.fill(0xEE);
  EXPECT_EQ(lz::IsCompressedFile(file, header), GetParam().compressed);
  EXPECT_EQ(file.Position(), start);
  if (GetParam().compressed) {
    EXPECT_EQ(0, std::memcmp(header.data(), GetParam().bytes.data(), lz::kHeaderSize));
  }
}

std::string WithByte(std::string bytes, std::size_t at, char value) {
  bytes[at] = value;
  return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Headers, IsCompressedFileTest,
    ::testing::Values(HeaderCase{"exact257", HeaderLike(257, 5), true},
                      HeaderCase{"longer", HeaderLike(4000, 128), true},
                      HeaderCase{"short256", HeaderLike(256, 5), false},
                      HeaderCase{"empty", "", false},
                      HeaderCase{"nameLength0", HeaderLike(300, 0), false},
                      HeaderCase{"lengthByte9", WithByte(HeaderLike(300, 5), 0, 9), false},
                      HeaderCase{"signatureCase", WithByte(HeaderLike(300, 5), 1, 'A'), false},
                      HeaderCase{"signatureEnd", WithByte(HeaderLike(300, 5), 8, '$'), false}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(RaiseReadPastEnd, RaisesCode100) {
  try {
    lz::RaiseReadPastEnd();
  } catch (const platform::EInOutError& e) {
    EXPECT_EQ(e.ErrorCode(), 100);
    EXPECT_STREQ(e.what(), "Read beyond end of file");
  }
}

// --- Wildcards ----------------------------------------------------------------------------

struct WildcardCase {
  std::string pattern;
  std::string name;
  bool match;
};

// Quoted; a long text by its ends and its length, so that the test's name stays short.
void PrintText(const std::string& text, std::ostream* os) {
  if (text.size() <= 32) {
    *os << '"' << text << '"';
  } else {
    *os << '"' << text.substr(0, 8) << "..." << text.substr(text.size() - 4) << "\" ("
        << text.size() << " bytes)";
  }
}

void PrintTo(const WildcardCase& c, std::ostream* os) {
  PrintText(c.pattern, os);
  *os << " vs ";
  PrintText(c.name, os);
}

class WildcardTest : public ::testing::TestWithParam<WildcardCase> {};

TEST_P(WildcardTest, Matches) {
  EXPECT_EQ(lz::WildcardMatch(GetParam().pattern, GetParam().name), GetParam().match)
      << "pattern \"" << GetParam().pattern << "\" name \"" << GetParam().name << "\"";
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, WildcardTest,
    ::testing::Values(WildcardCase{"*", "", true}, WildcardCase{"*", "anything.txt", true},
                      WildcardCase{"a*", "a", true}, WildcardCase{"?", "", false},
                      WildcardCase{"**", "", false}, WildcardCase{"a", "A", false},
                      WildcardCase{"", "", true}, WildcardCase{"", "a", false},
                      WildcardCase{"*.dat", "icq.dat", true},
                      WildcardCase{"*.dat", "icq.DAT", false}, WildcardCase{"*.*", "readme", false},
                      WildcardCase{"?c?", "icq", true}, WildcardCase{"i*q*", "icq", true},
                      WildcardCase{"*q", "icq.", false}, WildcardCase{"a**", "a", false},
                      WildcardCase{"a**", "ab", true}, WildcardCase{"abc", "ab", false},
                      // Many stars against a long name: answered exactly, not in exponential time.
                      WildcardCase{"*a*a*a*a*a*a*a*a*a*a*a*a*b", std::string(200, 'a'), false},
                      WildcardCase{"*a*a*a*a*a*a*a*a*a*a*a*a*b", std::string(200, 'a') + "b", true},
                      // Both texts are taken up to 255 bytes.
                      WildcardCase{std::string(255, 'x') + "y", std::string(255, 'x') + "z",
                                   true}));

// --- Version resources --------------------------------------------------------------------

void Put16(Bytes& b, std::size_t at, std::uint16_t v) {
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void Pad4(Bytes& b) {
  while (b.size() % 4) b.push_back(0);
}
void AppendUtf16(Bytes& b, const std::string& ascii) {
  for (char c : ascii) {
    b.push_back(static_cast<std::uint8_t>(c));
    b.push_back(0);
  }
  b.push_back(0);
  b.push_back(0);
}

// One version block: wLength, wValueLength, wType, key, value, children, 4-byte aligned.
Bytes VersionBlock(const std::string& key, const Bytes& value, std::uint16_t value_length,
                   std::uint16_t type, const std::vector<Bytes>& children = {}) {
  Bytes b(6, 0);
  AppendUtf16(b, key);
  Pad4(b);
  b.insert(b.end(), value.begin(), value.end());
  for (const Bytes& child : children) {
    Pad4(b);
    b.insert(b.end(), child.begin(), child.end());
  }
  Put16(b, 0, static_cast<std::uint16_t>(b.size()));
  Put16(b, 2, value_length);
  Put16(b, 4, type);
  return b;
}

Bytes StringValue(const std::string& key, const std::string& text) {
  Bytes value;
  AppendUtf16(value, text);
  return VersionBlock(key, value, static_cast<std::uint16_t>(text.size() + 1), 1);
}

Bytes StringTable(const std::string& language_codepage, const std::vector<Bytes>& strings) {
  return VersionBlock(language_codepage, {}, 0, 1, strings);
}

Bytes VersionInfo(const std::vector<Bytes>& tables, std::optional<std::uint32_t> translation) {
  Bytes fixed(52, 0);
  Put32(fixed, 0, 0xFEEF04BD);
  std::vector<Bytes> children = {VersionBlock("StringFileInfo", {}, 0, 1, tables)};
  if (translation) {
    Bytes value(4, 0);
    Put32(value, 0, *translation);
    children.push_back(
        VersionBlock("VarFileInfo", {}, 0, 1, {VersionBlock("Translation", value, 4, 0)}));
  }
  return VersionBlock("VS_VERSION_INFO", fixed, 52, 0, children);
}

// A minimal PE image: DOS header, PE header, one ".rsrc" section holding the resource
// directory RT_VERSION / 1 / <language> and a version block for each language, in the
// order given (a resource directory lists them by ascending language).
Bytes PeImage(const std::vector<std::pair<std::uint32_t, Bytes>>& languages,
              bool pe32_plus = false) {
  const std::size_t pe_at = 0x40;
  const std::uint16_t optional_size = pe32_plus ? 240 : 224;
  const std::size_t sections_at = pe_at + 4 + 20 + optional_size;
  const std::size_t raw_at = 0x200;
  const std::uint32_t rva = 0x1000;

  const std::size_t count = languages.size();
  const std::size_t data_entries_at = 0x30 + 16 + 8 * count;
  Bytes rsrc(data_entries_at + 16 * count, 0);
  Put16(rsrc, 0x0E, 1);   // root: one ID entry
  Put32(rsrc, 0x10, 16);  // RT_VERSION
  Put32(rsrc, 0x14, 0x80000000u | 0x18);
  Put16(rsrc, 0x18 + 0x0E, 1);
  Put32(rsrc, 0x28, 1);  // name ID 1
  Put32(rsrc, 0x2C, 0x80000000u | 0x30);
  Put16(rsrc, 0x30 + 0x0E, static_cast<std::uint16_t>(count));
  for (std::size_t i = 0; i < count; ++i) {
    const auto& [language, version] = languages[i];
    const std::size_t entry_at = data_entries_at + 16 * i;
    Put32(rsrc, 0x40 + 8 * i, language);
    Put32(rsrc, 0x44 + 8 * i, static_cast<std::uint32_t>(entry_at));
    Put32(rsrc, entry_at, rva + static_cast<std::uint32_t>(rsrc.size()));
    Put32(rsrc, entry_at + 4, static_cast<std::uint32_t>(version.size()));
    rsrc.insert(rsrc.end(), version.begin(), version.end());
    Pad4(rsrc);
  }

  Bytes image(raw_at, 0);
  image[0] = 'M';
  image[1] = 'Z';
  Put32(image, 0x3C, pe_at);
  std::memcpy(&image[pe_at], "PE\0\0", 4);
  Put16(image, pe_at + 4, pe32_plus ? 0x8664 : 0x14C);
  Put16(image, pe_at + 6, 1);  // sections
  Put16(image, pe_at + 20, optional_size);
  const std::size_t optional_at = pe_at + 24;
  Put16(image, optional_at, pe32_plus ? 0x20B : 0x10B);
  const std::size_t count_at = optional_at + (pe32_plus ? 108 : 92);
  Put32(image, count_at, 16);
  Put32(image, count_at + 4 + 2 * 8, rva);
  Put32(image, count_at + 4 + 2 * 8 + 4, static_cast<std::uint32_t>(rsrc.size()));
  std::memcpy(&image[sections_at], ".rsrc", 5);
  Put32(image, sections_at + 8, static_cast<std::uint32_t>(rsrc.size()));
  Put32(image, sections_at + 12, rva);
  Put32(image, sections_at + 16, static_cast<std::uint32_t>(rsrc.size()));
  Put32(image, sections_at + 20, raw_at);
  image.insert(image.end(), rsrc.begin(), rsrc.end());
  return image;
}

Bytes PeImage(const Bytes& version, bool pe32_plus = false) {
  return PeImage({{0x0409, version}}, pe32_plus);
}

class VersionInfoTest : public LzSupportTest {
 protected:
  std::string VersionOf(const Bytes& image, const std::string& key = "FileVersion") {
    box_.WriteFile("C:\\prog.exe", std::string(image.begin(), image.end()));
    return lz::VersionInfoString("C:\\prog.exe", key);
  }
};

TEST_F(VersionInfoTest, TakesTheTableOfTheTranslation) {
  const Bytes version = VersionInfo(
      {StringTable("040904e4", {StringValue("FileVersion", "9.9")}),
       StringTable("040704b0",
                   {StringValue("CompanyName", "x"), StringValue("FileVersion", "2000b.1")})},
      0x04B00407);
  EXPECT_EQ(VersionOf(PeImage(version)), "2000b.1");
  EXPECT_EQ(VersionOf(PeImage(version, true)), "2000b.1");
  EXPECT_EQ(VersionOf(PeImage(version), "fileversion"), "2000b.1");  // keys ignore case
  EXPECT_EQ(VersionOf(PeImage(version), "ProductVersion"), "");
}

TEST_F(VersionInfoTest, WithoutTranslationLooksUnder0409And04e4) {
  const Bytes version =
      VersionInfo({StringTable("040704b0", {StringValue("FileVersion", "1.0")}),
                   StringTable("040904e4", {StringValue("FileVersion", "99b.3")})},
                  std::nullopt);
  EXPECT_EQ(VersionOf(PeImage(version)), "99b.3");
  const Bytes german_only =
      VersionInfo({StringTable("040704b0", {StringValue("FileVersion", "1.0")})}, std::nullopt);
  EXPECT_EQ(VersionOf(PeImage(german_only)), "");
}

// As the Windows loader takes a resource in several languages in an English setting:
// the language-neutral one, else US English, else the first one listed.
TEST_F(VersionInfoTest, ResourceInSeveralLanguagesTakesNeutralThenUsEnglish) {
  const auto version = [](const std::string& text) {
    return VersionInfo({StringTable("040904e4", {StringValue("FileVersion", text)})}, 0x04E40409);
  };
  EXPECT_EQ(VersionOf(PeImage({{0x0401, version("arabic")}, {0x0409, version("english")}})),
            "english");
  EXPECT_EQ(VersionOf(PeImage({{0x0000, version("neutral")}, {0x0409, version("english")}})),
            "neutral");
  EXPECT_EQ(VersionOf(PeImage({{0x0401, version("arabic")}, {0x0407, version("german")}})),
            "arabic");
}

TEST_F(VersionInfoTest, LongTextIsCutTo255) {
  const std::string text(300, '7');
  const Bytes version =
      VersionInfo({StringTable("040904e4", {StringValue("FileVersion", text)})}, std::nullopt);
  EXPECT_EQ(VersionOf(PeImage(version)), text.substr(0, 255));
}

TEST_F(VersionInfoTest, FilesWithoutAResourceGiveNothing) {
  EXPECT_EQ(lz::VersionInfoString("C:\\missing.exe", "FileVersion"), "");
  box_.WriteFile("C:\\text.exe", "MZ but nothing more");
  EXPECT_EQ(lz::VersionInfoString("C:\\text.exe", "FileVersion"), "");
  box_.WriteFile("C:\\empty.exe", "");
  EXPECT_EQ(lz::VersionInfoString("C:\\empty.exe", "FileVersion"), "");
}

// A compression through open files (the backup's) stores what a compression by names
// stores: the version of a program image, the CRC-32 that the coding pass takes, a
// compressed source copied as it is; in each of the engine's modes.
TEST_F(VersionInfoTest, CompressionOfOpenFilesStoresWhatCompressionByNamesStores) {
  const Bytes image = PeImage(
      VersionInfo({StringTable("040904e4", {StringValue("FileVersion", "2000b.1")})}, 0x04E40409));
  box_.WriteFile("C:\\prog.exe", std::string(image.begin(), image.end()));
  box_.WriteFile("C:\\text.dat", TextData(300000, 5));
  box_.WriteFile("C:\\empty.dat", "");
  ASSERT_GT(lz::CompressFile("C:\\text.dat", "C:\\packed.lzz", {}, {}, 1), 0);
  for (const char* source : {"C:\\prog.exe", "C:\\text.dat", "C:\\empty.dat", "C:\\packed.lzz"}) {
    for (std::uint8_t mode : {0, 1, 2}) {
      SCOPED_TRACE(std::string(source) + " mode " + std::to_string(mode));
      const std::int64_t by_names = lz::CompressFile(source, "C:\\by_names.lzz", {}, {}, mode);
      platform::File input = platform::File::Open(source, platform::OpenMode::kRead);
      platform::File output = platform::File::Open("C:\\open.lzz", platform::OpenMode::kCreate);
      EXPECT_EQ(lz::CompressOpenFile(input, output, {}, mode), by_names);
      output.Close();
      const std::string stored = box_.ReadFile("C:\\open.lzz");
      EXPECT_EQ(stored, box_.ReadFile("C:\\by_names.lzz"));
      if (std::string(source) == "C:\\packed.lzz") {
        EXPECT_EQ(stored, box_.ReadFile(source));
        continue;
      }
      lz::LZFileInfo info;
      ASSERT_EQ(lz::GetFileInfo("C:\\open.lzz", info), 1);
      EXPECT_EQ(info.crc32, ZlibCrc(box_.ReadFile(source)));
      EXPECT_EQ(info.version, std::string(source) == "C:\\prog.exe" ? "2000b.1" : "0");
    }
  }
}

// Every shorter file, and every byte of the image changed in turn, must give either the
// empty text or some text, never a crash or a read outside the data (checked under
// AddressSanitizer in the sanitizer build).
TEST_F(VersionInfoTest, TruncatedAndCorruptedImagesAreSafe) {
  const Bytes image = PeImage(
      VersionInfo({StringTable("040904e4", {StringValue("FileVersion", "1.2.3.4")})}, 0x04E40409));
  ASSERT_EQ(VersionOf(image), "1.2.3.4");
  // The file is changed in place, not rewritten: freeing its blocks over and over is
  // slow on some disks.
  const auto host = box_.Host("C:\\prog.exe");
  for (std::size_t size = image.size(); size-- > 0;) {
    std::filesystem::resize_file(host, size);
    const std::string v = lz::VersionInfoString("C:\\prog.exe", "FileVersion");
    ASSERT_TRUE(v.empty() || v == "1.2.3.4") << "size " << size << ": " << v;
    // Cut inside the version block, the value must be gone.
    if (size < image.size() - 24) {
      ASSERT_EQ(v, "") << size;
    }
  }
  box_.WriteFile("C:\\prog.exe", std::string(image.begin(), image.end()));
  std::fstream file(host, std::ios::in | std::ios::out | std::ios::binary);
  auto patch = [&](std::size_t at, std::uint8_t value) {
    file.seekp(static_cast<std::streamoff>(at));
    file.put(static_cast<char>(value));
    file.flush();
  };
  int texts = 0;
  for (std::size_t at = 0; at < image.size(); ++at) {
    for (std::uint8_t value : {0x00, 0x01, 0x7F, 0x80, 0xFF}) {
      if (image[at] == value) continue;
      patch(at, value);
      const std::string v = lz::VersionInfoString("C:\\prog.exe", "FileVersion");
      ASSERT_LE(v.size(), 255u);
      texts += !v.empty();
    }
    patch(at, image[at]);
  }
  EXPECT_GT(texts, 0);  // changes to unused bytes leave the value readable
}

}  // namespace
