# The fuzz targets: fuzz_<name>.cpp, seeds in corpus/<name>/. Included by fuzz/CMakeLists.txt
# (libFuzzer builds) and tests/fuzz_replay.cmake (corpus replays in every build).
set(VARN_FUZZ_TARGETS
  lzss_decode
  lzh_decode
  decompress_file
  version_info
  lzss_roundtrip
  lzh_roundtrip)
