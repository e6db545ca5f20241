// bench_codecs DIR [ROUNDS [CODER]]: speed of the engine's coders beside zlib on the corpus that
// bench/make_corpus.sh builds (DIR/text and DIR/binary). Every file is coded on its own,
// as the backup does. Each figure is the best of ROUNDS rounds (default 3) of processor
// time of this thread, so that other load on the machine disturbs it little; MB/s count
// uncompressed bytes (1 MB = 10^6 bytes). Every decoder's output is checked. CODER
// (LZSS or LZH) limits the engine's coders to one, for profiling; zlib always runs.
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "lz/lzh.h"
#include "lz/lzss.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Part {
  std::string name;
  std::vector<Bytes> files;
  std::size_t bytes = 0;
};

Part LoadPart(const std::filesystem::path& root) {
  namespace fs = std::filesystem;
  Part part{root.filename().string(), {}, 0};
  std::vector<fs::path> paths;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) paths.push_back(entry.path());
  }
  std::sort(paths.begin(), paths.end());
  for (const auto& path : paths) {
    std::ifstream in(path, std::ios::binary);
    Bytes data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    part.bytes += data.size();
    part.files.push_back(std::move(data));
  }
  return part;
}

double ThreadSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

using Coder = std::function<void(const Bytes& in, Bytes& out)>;

// Codes every input into its output; answers the processor time taken.
double Time(const Coder& coder, const std::vector<Bytes>& inputs, std::vector<Bytes>& outputs) {
  outputs.resize(inputs.size());
  const double start = ThreadSeconds();
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    outputs[i].clear();
    coder(inputs[i], outputs[i]);
  }
  return ThreadSeconds() - start;
}

// ---- the coders ----

void Lzss(const Bytes& in, Bytes& out, bool encode) {
  std::size_t pos = 0;
  lz::SetBlockHooks(
      [&](std::span<std::uint8_t> block) {
        const auto n = static_cast<std::uint32_t>(std::min(block.size(), in.size() - pos));
        std::copy_n(in.data() + pos, n, block.data());
        pos += n;
        return n;
      },
      [&](std::span<const std::uint8_t> bytes) {
        out.insert(out.end(), bytes.begin(), bytes.end());
        return static_cast<std::uint32_t>(bytes.size());
      });
  if (!lz::LZBegin(1)) {
    std::fprintf(stderr, "LZBegin failed\n");
    std::exit(1);
  }
  if (encode) {
    lz::LzssPrepareEncode();
    lz::LzssEncode();
  } else {
    lz::LzssPrepareDecode();
    lz::LzssDecode();
  }
  lz::LZEnd();
}

void Lzh(const Bytes& in, Bytes& out, bool encode) {
  std::size_t pos = 0;
  lz::LzhStreams io;
  io.read = [&](std::uint8_t* buffer, std::size_t count) {
    const std::size_t n = std::min(count, in.size() - pos);
    std::copy_n(in.data() + pos, n, buffer);
    pos += n;
    return n;
  };
  io.write = [&](const std::uint8_t* data, std::size_t count) {
    out.insert(out.end(), data, data + count);
  };
  if (!lz::LZBegin(2)) {
    std::fprintf(stderr, "LZBegin(2) failed\n");
    std::exit(1);
  }
  const std::int64_t result = encode ? lz::LzhEncode(io) : lz::LzhDecode(io);
  lz::LZEnd();
  if (result < 0) {
    std::fprintf(stderr, "LZH coder answered %lld\n", static_cast<long long>(result));
    std::exit(1);
  }
}

void Deflate(const Bytes& in, Bytes& out, int level) {
  uLongf size = compressBound(in.size());
  out.resize(size);
  if (compress2(out.data(), &size, in.data(), in.size(), level) != Z_OK) std::exit(1);
  out.resize(size);
}

// zlib's stream does not carry the length; the original's is passed in through `out`.
void Inflate(const Bytes& in, Bytes& out, std::size_t original) {
  out.resize(original);
  uLongf size = original;
  if (uncompress(out.data(), &size, in.data(), in.size()) != Z_OK || size != original) {
    std::exit(1);
  }
}

struct Result {
  double mb_per_s = 0;
  double ratio = 0;  // compressed size over original size
};

struct PairSpec {
  std::string name;
  Coder encode;
  Coder decode;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_codecs CORPUS_DIR [ROUNDS [LZSS|LZH]]\n");
    return 2;
  }
  const std::filesystem::path root = argv[1];
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  const std::string only = argc > 3 ? argv[3] : "";

  std::vector<PairSpec> specs;
  specs.push_back({"LZSS", [](const Bytes& i, Bytes& o) { Lzss(i, o, true); },
                   [](const Bytes& i, Bytes& o) { Lzss(i, o, false); }});
  specs.push_back({"LZH", [](const Bytes& i, Bytes& o) { Lzh(i, o, true); },
                   [](const Bytes& i, Bytes& o) { Lzh(i, o, false); }});

  std::erase_if(specs, [&](const PairSpec& s) { return !only.empty() && s.name != only; });

  bool checks_ok = true;
  std::printf("| part | MB | files | coder | MB/s | ratio to zlib | compressed |\n");
  std::printf("|---|---:|---:|---|---:|---:|---:|\n");
  for (const char* part_name : {"text", "binary"}) {
    const Part part = LoadPart(root / part_name);
    if (part.files.empty()) {
      std::fprintf(stderr, "no files in %s\n", (root / part_name).c_str());
      return 1;
    }
    std::vector<std::size_t> sizes;
    for (const Bytes& f : part.files) sizes.push_back(f.size());
    const double mb = static_cast<double>(part.bytes) / 1e6;

    std::map<std::string, Result> best;
    auto record = [&](const std::string& name, double seconds, const std::vector<Bytes>& out) {
      std::size_t packed = 0;
      for (const Bytes& b : out) packed += b.size();
      Result& r = best[name];
      r.mb_per_s = std::max(r.mb_per_s, mb / seconds);
      r.ratio = static_cast<double>(packed) / static_cast<double>(part.bytes);
    };
    std::vector<Bytes> packed;
    std::vector<Bytes> unpacked;
    for (int round = 0; round < rounds; ++round) {
      for (const PairSpec& spec : specs) {
        record(spec.name + " encode", Time(spec.encode, part.files, packed), packed);
        const double seconds = Time(spec.decode, packed, unpacked);
        record(spec.name + " decode", seconds, packed);
        if (unpacked != part.files) {
          std::fprintf(stderr, "%s: %s decode does not give the input back\n", part_name,
                       spec.name.c_str());
          checks_ok = false;
        }
      }
      record("deflate-1",
             Time([](const Bytes& i, Bytes& o) { Deflate(i, o, 1); }, part.files, packed), packed);
      record("deflate-6",
             Time([](const Bytes& i, Bytes& o) { Deflate(i, o, 6); }, part.files, packed), packed);
      std::size_t index = 0;
      const double seconds =
          Time([&](const Bytes& i, Bytes& o) { Inflate(i, o, sizes[index++]); }, packed, unpacked);
      record("inflate", seconds, packed);
      if (unpacked != part.files) checks_ok = false;
    }

    const double deflate6 = best["deflate-6"].mb_per_s;
    const double inflate = best["inflate"].mb_per_s;
    std::vector<std::string> order;
    for (const PairSpec& spec : specs) {
      order.push_back(spec.name + " encode");
      order.push_back(spec.name + " decode");
    }
    for (const char* z : {"deflate-1", "deflate-6", "inflate"}) order.push_back(z);
    for (const std::string& name : order) {
      const Result& r = best[name];
      const bool decoder = name.ends_with("decode") || name == "inflate";
      const double peer = decoder ? inflate : deflate6;
      std::printf("| %s | %.1f | %zu | %s | %.1f | %.2fx %s | %.1f%% |\n", part_name, mb,
                  part.files.size(), name.c_str(), r.mb_per_s, r.mb_per_s / peer,
                  decoder ? "inflate" : "deflate-6", r.ratio * 100.0);
    }
  }
  if (!checks_ok) {
    std::fprintf(stderr, "a decoder's output differed from its input\n");
    return 1;
  }
  return 0;
}
