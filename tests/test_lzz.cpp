// The lzz tool, run as a program on files in a temporary folder.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "lz_sandbox.h"

namespace {

namespace fs = std::filesystem;

struct Outcome {
  int exit_code = -1;
  std::string out;
  std::string err;
};

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

class LzzTest : public ::testing::Test {
 protected:
  LzzTest() { dir_ = MakeScratchFolder("varn-lzz-"); }
  ~LzzTest() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  // Runs lzz in the temporary folder; relative names are taken there. Standard output
  // is caught in Outcome::out unless it goes to `out_path`.
  Outcome Lzz(const std::string& args, const std::string& out_path = "") {
    // Without a Wine prefix the drive table is C: = "/", whatever the machine has.
    const std::string command = "cd '" + dir_.string() + "' && WINEPREFIX=/nonexistent '" +
                                LZZ_BINARY + "' " + args + " >'" +
                                (out_path.empty() ? (dir_ / ".out").string() : out_path) + "' 2>'" +
                                (dir_ / ".err").string() + "'";
    const int status = std::system(command.c_str());
    Outcome o;
    o.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (out_path.empty()) o.out = Slurp(dir_ / ".out");
    o.err = Slurp(dir_ / ".err");
    return o;
  }

  void Write(const std::string& name, const std::string& bytes, const char* local_time = nullptr) {
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
    if (local_time) {
      const std::string touch =
          "touch -d '" + std::string(local_time) + "' '" + (dir_ / name).string() + "'";
      ASSERT_EQ(std::system(touch.c_str()), 0);
    }
  }
  std::string Read(const std::string& name) { return Slurp(dir_ / name); }
  // `name` as a copy of `from` with the lowest bit of byte `at` flipped.
  void WriteFlipped(const std::string& name, const std::string& from, std::size_t at) {
    std::string bytes = Read(from);
    ASSERT_LT(at, bytes.size());
    bytes[at] ^= 0x01;
    Write(name, bytes);
  }

  fs::path dir_;
};

// On a terminal (script(1) gives lzz one): a large file's work shows its percentage, a
// small one's none; compressed data is not written to the terminal without --force.
// Through a pipe or a file nothing of that kind is shown or refused.
TEST_F(LzzTest, OnATerminalLargeFilesShowProgressAndCompressedDataIsRefused) {
  if (std::system("command -v script >/dev/null") != 0) GTEST_SKIP() << "script is missing";
  std::string text;
  while (text.size() < 6u << 20) text += "line " + std::to_string(text.size()) + " of a long log\n";
  Write("big.txt", text);
  Write("small.txt", text.substr(0, 100000));
  const auto on_terminal = [this](const std::string& args) {
    const std::string command = "cd '" + dir_.string() +
                                "' && WINEPREFIX=/nonexistent script -qec \"'" + LZZ_BINARY + "' " +
                                args + "; echo status=\\$?\" /dev/null >.tty";
    EXPECT_EQ(std::system(command.c_str()), 0) << args;
    return Read(".tty");
  };
  const std::string big = on_terminal("compress big.txt big.lzz");
  EXPECT_NE(big.find("lzz: big.txt: 100%"), std::string::npos) << big;
  EXPECT_NE(big.find("status=0"), std::string::npos) << big;
  const std::string small = on_terminal("compress small.txt small.lzz");
  EXPECT_EQ(small.find('%'), std::string::npos) << small;
  const Outcome piped = Lzz("compress big.txt piped.lzz");
  EXPECT_EQ(piped.exit_code, 0);
  EXPECT_EQ(piped.err, "");

  const std::string refused = on_terminal("compress small.txt -");
  EXPECT_NE(refused.find("lzz: standard output: is a terminal"), std::string::npos) << refused;
  EXPECT_NE(refused.find("status=1"), std::string::npos) << refused;
  const std::string forced = on_terminal("compress -f small.txt -");
  EXPECT_NE(forced.find("status=0"), std::string::npos);
  EXPECT_EQ(forced.find("is a terminal"), std::string::npos);
  const Outcome to_file = Lzz("compress small.txt -");
  EXPECT_EQ(to_file.exit_code, 0) << to_file.err;
  EXPECT_EQ(to_file.out, Read("small.lzz")) << "the compressed data, as to a file";
}

TEST_F(LzzTest, HelpAndWrongCommandLines) {
  Outcome help = Lzz("--help");
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_NE(help.out.find("Usage: lzz compress [-f] [--method lzss|lzh] SRC DST"),
            std::string::npos);
  EXPECT_EQ(help.err, "");
  for (const char* wrong :
       {"", "pack a b", "compress a", "compress a b c", "compress --method zip a b",
        "compress a b --method", "decompress a", "info", "verify"}) {
    Outcome o = Lzz(wrong);
    EXPECT_EQ(o.exit_code, 2) << wrong;
    EXPECT_NE(o.err.find("Usage:"), std::string::npos) << wrong;
  }
}

TEST_F(LzzTest, CompressAndDecompressBothMethods) {
  const std::string data = TextData(400000) + RandomData(100000);
  Write("notes.txt", data, "2003-04-05 06:07:08");
  for (const auto& [option, method] :
       {std::pair{"", 3}, std::pair{"--method lzss", 3}, std::pair{"--method lzh", 4}}) {
    Outcome packed = Lzz(std::string("compress -f ") + option + " notes.txt notes.lzz");
    ASSERT_EQ(packed.exit_code, 0) << packed.err;
    const std::string file = Read("notes.lzz");
    ASSERT_GT(file.size(), 257u);
    EXPECT_EQ(static_cast<int>(file[173]), method) << option;
    // Only the file's own name is stored, never the folder it came from.
    EXPECT_EQ(file.substr(40, 10), std::string("\x09notes.txt"));

    fs::remove(dir_ / "back.txt");
    Outcome restored =
        Lzz(std::string("decompress ") + (dir_ / "notes.lzz").string() + " back.txt");
    ASSERT_EQ(restored.exit_code, 0) << restored.err;
    EXPECT_TRUE(Read("back.txt") == data);
    EXPECT_EQ(fs::last_write_time(dir_ / "back.txt"), fs::last_write_time(dir_ / "notes.txt"));
  }
}

TEST_F(LzzTest, FailuresNameTheFileAndTheReason) {
  Outcome missing = Lzz("compress nothing.txt x.lzz");
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_EQ(missing.err, "lzz: nothing.txt: No such file or directory\n");
  EXPECT_FALSE(fs::exists(dir_ / "x.lzz"));

  // The same file under another spelling is refused even with --force.
  Write("a.txt", "abc");
  fs::create_symlink("a.txt", dir_ / "link.txt");
  for (const char* line :
       {"compress a.txt ./a.txt", "compress -f a.txt link.txt", "decompress --force a.txt a.txt"}) {
    Outcome same = Lzz(line);
    EXPECT_EQ(same.exit_code, 1) << line;
    EXPECT_EQ(same.err, "lzz: a.txt: source and destination are the same file\n") << line;
  }
  EXPECT_EQ(Read("a.txt"), "abc");

  Outcome no_source = Lzz("decompress gone.lzz out.txt");
  EXPECT_EQ(no_source.exit_code, 1);
  EXPECT_EQ(no_source.err, "lzz: gone.lzz: No such file or directory\n");

  Outcome no_folder = Lzz("compress a.txt nowhere/a.lzz");
  EXPECT_EQ(no_folder.exit_code, 1);
  EXPECT_EQ(no_folder.err, "lzz: nowhere/a.lzz: No such file or directory\n");

  Outcome folder = Lzz("info .");
  EXPECT_EQ(folder.exit_code, 1);
  EXPECT_EQ(folder.err, "lzz: .: Is a directory\n");

  // A changed literal decodes to other bytes of the same length: the CRC-32 tells.
  Write("data.txt", TextData(5000));
  ASSERT_EQ(Lzz("compress data.txt data.lzz").exit_code, 0);
  WriteFlipped("bad.lzz", "data.lzz", 258);
  Outcome bad = Lzz("decompress bad.lzz bad.txt");
  EXPECT_EQ(bad.exit_code, 1);
  EXPECT_EQ(bad.err, "lzz: bad.lzz: CRC-32 of the restored file differs from the header\n");
}

// The engine copies a plain file given to decompress; the tool says so, and still exits 0.
TEST_F(LzzTest, DecompressingAPlainFileSaysItWasCopied) {
  const std::string data = TextData(3000);
  Write("plain.txt", data);
  Outcome copied = Lzz("decompress plain.txt copy.txt");
  EXPECT_EQ(copied.exit_code, 0);
  EXPECT_EQ(copied.err, "lzz: plain.txt: not a compressed file, copied as it is\n");
  EXPECT_TRUE(Read("copy.txt") == data);

  ASSERT_EQ(Lzz("compress plain.txt plain.lzz").exit_code, 0);
  Outcome restored = Lzz("decompress plain.lzz back.txt");
  EXPECT_EQ(restored.exit_code, 0);
  EXPECT_EQ(restored.err, "");
  EXPECT_TRUE(Read("back.txt") == data);
}

// A link named as the destination is the source itself: refused, the source kept.
TEST_F(LzzTest, CompressOntoALinkToTheSourceIsRefused) {
  const std::string data = TextData(280260);
  Write("notes.txt", data);
  fs::create_symlink("notes.txt", dir_ / "link.lzz");
  Outcome o = Lzz("compress notes.txt link.lzz");
  EXPECT_EQ(o.exit_code, 1);
  EXPECT_EQ(o.err, "lzz: notes.txt: source and destination are the same file\n");
  EXPECT_TRUE(Read("notes.txt") == data);
}

TEST_F(LzzTest, InfoOfCompressedPlainAndMissingFiles) {
  Write("abc.txt", "abc", "2003-04-05 06:07:08");
  ASSERT_EQ(Lzz("compress abc.txt abc.lzz").exit_code, 0);
  Outcome info = Lzz("info abc.lzz abc.txt");
  EXPECT_EQ(info.exit_code, 0);
  EXPECT_EQ(info.out,
            "abc.lzz: compressed file\n"
            "  stored name:       abc.txt\n"
            "  method:            3 (LZSS)\n"
            "  uncompressed size: 3\n"
            "  body size:         4\n"
            "  date-time:         2003-04-05T06:07:08\n"
            "  attributes:        0x20 (archive)\n"
            "  CRC-32:            352441c2\n"
            "  version:           0\n"
            "abc.txt: plain file\n"
            "  size:              3\n"
            "  date-time:         2003-04-05T06:07:08\n"
            "  attributes:        0x20 (archive)\n"
            "  CRC-32:            352441c2\n"
            "  version:           0\n");

  Outcome missing = Lzz("info abc.lzz nowhere.lzz");
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_EQ(missing.err, "lzz: nowhere.lzz: No such file or directory\n");
  EXPECT_EQ(missing.out.rfind("abc.lzz: compressed file\n", 0), 0u);
}

TEST_F(LzzTest, VerifyChecksLengthAndCrc) {
  Write("text.txt", TextData(300000));
  ASSERT_EQ(Lzz("compress text.txt good.lzz").exit_code, 0);
  ASSERT_EQ(Lzz("compress --method lzh text.txt good4.lzz").exit_code, 0);
  const auto listing = [&] {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path().string());
    std::sort(names.begin(), names.end());
    return names;
  };
  const std::vector<std::string> before = listing();
  Outcome good = Lzz("verify good.lzz good4.lzz");
  EXPECT_EQ(good.exit_code, 0) << good.err;
  const std::string text = TextData(300000);
  char crc[9];
  std::snprintf(crc, sizeof crc, "%08lx",
                crc32_z(0, reinterpret_cast<const Bytef*>(text.data()), text.size()));
  EXPECT_EQ(good.out, std::string("good.lzz: OK (300000 bytes, CRC-32 ") + crc + ")\n" +
                          "good4.lzz: OK (300000 bytes, CRC-32 " + crc + ")\n");
  EXPECT_EQ(listing(), before);  // nothing written

  std::string packed = Read("good.lzz");
  std::string flipped = packed;
  flipped[258] ^= 0x01;
  Write("crc.lzz", flipped);
  std::string lying = packed;
  lying[11] = static_cast<char>(lying[11] + 1);  // the uncompressed size
  Write("length.lzz", lying);
  const std::string lzh = Read("good4.lzz");
  Write("cut.lzz", lzh.substr(0, lzh.size() - 40));

  Outcome bad = Lzz("verify good.lzz crc.lzz length.lzz cut.lzz text.txt missing.lzz");
  EXPECT_EQ(bad.exit_code, 1);
  std::istringstream lines(bad.out);
  std::string line;
  std::vector<std::string> got;
  while (std::getline(lines, line)) got.push_back(line);
  ASSERT_EQ(got.size(), 6u) << bad.out;
  EXPECT_EQ(got[0].rfind("good.lzz: OK (300000 bytes", 0), 0u);
  EXPECT_EQ(got[1].rfind("crc.lzz: FAILED: CRC-32 ", 0), 0u) << got[1];
  EXPECT_EQ(got[2], "length.lzz: FAILED: decodes to 300000 bytes, header says " +
                        std::to_string(300000 + 1));
  EXPECT_EQ(got[3], "cut.lzz: FAILED: compressed data ends before its end code");
  EXPECT_EQ(got[4], "text.txt: FAILED: not a compressed file");
  EXPECT_EQ(got[5], "missing.lzz: FAILED: No such file or directory");
  EXPECT_EQ(bad.err, "lzz: 5 of 6 files failed verification\n");
}

// Every name in the folder but the captured output, sorted.
std::vector<std::string> Names(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name != ".out" && name != ".err") names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST_F(LzzTest, AnExistingDestinationIsKeptUnlessForced) {
  Write("notes.txt", TextData(20000));
  Write("precious.dat", "precious");
  for (const char* line :
       {"compress notes.txt precious.dat", "decompress notes.txt precious.dat"}) {
    Outcome refused = Lzz(line);
    EXPECT_EQ(refused.exit_code, 1) << line;
    EXPECT_EQ(refused.err, "lzz: precious.dat: already exists (use --force to replace it)\n");
    EXPECT_EQ(Read("precious.dat"), "precious");
  }
  Outcome forced = Lzz("compress --force notes.txt precious.dat");
  ASSERT_EQ(forced.exit_code, 0) << forced.err;
  ASSERT_EQ(Lzz("decompress -f precious.dat notes.txt").exit_code, 0);
  EXPECT_EQ(Read("notes.txt"), TextData(20000));
  EXPECT_EQ(Names(dir_), (std::vector<std::string>{"notes.txt", "precious.dat"}));
}

TEST_F(LzzTest, AFailedDecodeLeavesTheDestinationAsItWas) {
  Write("data.txt", TextData(50000));
  ASSERT_EQ(Lzz("compress data.txt data.lzz").exit_code, 0);
  WriteFlipped("bad.lzz", "data.lzz", 300);  // same length, other bytes: the CRC-32 tells
  Write("cut.lzz", Read("data.lzz").substr(0, 2000));
  Write("precious.dat", "precious");
  for (const char* source : {"bad.lzz", "cut.lzz"}) {
    Outcome bad = Lzz(std::string("decompress -f ") + source + " precious.dat");
    EXPECT_EQ(bad.exit_code, 1) << source;
    EXPECT_EQ(Read("precious.dat"), "precious") << source;
    // No temporary file is left beside it.
    EXPECT_EQ(Names(dir_), (std::vector<std::string>{"bad.lzz", "cut.lzz", "data.lzz", "data.txt",
                                                     "precious.dat"}));
  }
}

TEST_F(LzzTest, HostPathsAreMatchedExactly) {
  Write("Notes.txt", "upper");
  Write("notes.src", "lower");
  ASSERT_EQ(Lzz("compress notes.src b.lzz").exit_code, 0);
  Outcome restored = Lzz("decompress b.lzz notes.txt");
  ASSERT_EQ(restored.exit_code, 0) << restored.err;
  EXPECT_EQ(Read("notes.txt"), "lower");
  EXPECT_EQ(Read("Notes.txt"), "upper");

  Outcome other_case = Lzz("compress NOTES.SRC c.lzz");
  EXPECT_EQ(other_case.exit_code, 1);
  EXPECT_EQ(other_case.err, "lzz: NOTES.SRC: No such file or directory\n");
  EXPECT_FALSE(fs::exists(dir_ / "c.lzz"));
}

// Ctrl-C or SIGTERM while lzz reads its source from a pipe that sends nothing ends it
// with 128 + the signal, the replaced destination as it was, and nothing left over.
TEST_F(LzzTest, InterruptLeavesTheDestinationAndNoTemporaryFile) {
  const fs::path scratch = dir_ / "tmp";
  fs::create_directory(scratch);
  for (int signal : {SIGINT, SIGTERM}) {
    Write("precious.lzz", "precious");
    int source[2];
    ASSERT_EQ(::pipe(source), 0);
    const pid_t child = ::fork();
    if (child == 0) {
      const int err = ::open((dir_ / ".err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (err < 0 || ::chdir(dir_.c_str()) != 0) ::_exit(126);
      ::dup2(source[0], 0);
      ::dup2(err, 2);
      ::close(source[1]);
      ::setenv("WINEPREFIX", "/nonexistent", 1);
      ::setenv("TMPDIR", scratch.c_str(), 1);
      ::execl(LZZ_BINARY, LZZ_BINARY, "compress", "-f", "-", "precious.lzz", nullptr);
      ::_exit(127);
    }
    ASSERT_GT(child, 0);
    ::close(source[0]);
    ASSERT_EQ(::write(source[1], "some bytes", 10), 10);  // then silence, the pipe open
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ::kill(child, signal);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ::close(source[1]);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by the signal itself";
    EXPECT_EQ(WEXITSTATUS(status), 128 + signal);
    EXPECT_EQ(Read(".err"), "lzz: interrupted\n");
    EXPECT_EQ(Read("precious.lzz"), "precious");
    EXPECT_EQ(Names(dir_), (std::vector<std::string>{"precious.lzz", "tmp"}));
    EXPECT_TRUE(fs::is_empty(scratch));
  }
}

TEST_F(LzzTest, ConventionsOfTerminalTools) {
  for (const char* line : {"--version", "-V"}) {
    Outcome version = Lzz(line);
    EXPECT_EQ(version.exit_code, 0) << line;
    EXPECT_EQ(version.out.rfind("lzz (Varn ICQ Backup) ", 0), 0u) << version.out;
  }
  // --help after a command is help, not a file name.
  for (const char* line : {"info --help", "verify -h", "compress --help", "decompress -h"}) {
    Outcome help = Lzz(line);
    EXPECT_EQ(help.exit_code, 0) << line;
    EXPECT_NE(help.out.find("Usage: lzz compress"), std::string::npos) << line;
    EXPECT_EQ(help.err, "") << line;
  }
  Outcome unknown = Lzz("info --brief x");
  EXPECT_EQ(unknown.exit_code, 2);
  EXPECT_EQ(unknown.err.rfind("lzz: unknown option --brief\nUsage: lzz", 0), 0u) << unknown.err;

  // "--" ends the options: a file may be called "-f".
  Write("-f", "dash");
  Outcome dashed = Lzz("compress -- -f dashed.lzz");
  ASSERT_EQ(dashed.exit_code, 0) << dashed.err;
  EXPECT_EQ(Lzz("info -- -f").out.rfind("-f: plain file\n", 0), 0u);

  // "-" is standard input and standard output, for every command.
  const std::string text = TextData(70000);
  Write("text.txt", text);
  Outcome piped = Lzz("compress - - < text.txt");
  ASSERT_EQ(piped.exit_code, 0) << piped.err;
  Write("piped.lzz", piped.out);
  Outcome stored = Lzz("info - < piped.lzz");
  EXPECT_NE(stored.out.find("standard input: compressed file\n  stored name:       stdin\n"),
            std::string::npos)
      << stored.out;
  EXPECT_EQ(Lzz("verify - < piped.lzz").exit_code, 0);
  Outcome back = Lzz("decompress - - < piped.lzz");
  ASSERT_EQ(back.exit_code, 0) << back.err;
  EXPECT_TRUE(back.out == text);
  // A damaged stream writes nothing to standard output.
  WriteFlipped("damaged.lzz", "piped.lzz", 400);
  Outcome refused = Lzz("decompress - - < damaged.lzz");
  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_EQ(refused.out, "");

  // Output that cannot be written is a failure.
  for (const char* line : {"--help", "info text.txt", "decompress piped.lzz -"}) {
    Outcome full = Lzz(line, "/dev/full");
    EXPECT_EQ(full.exit_code, 1) << line;
    EXPECT_NE(full.err.find("No space left on device"), std::string::npos) << line << full.err;
  }
}

}  // namespace
