varn_add_test(test_lz_file SOURCES test_lz_file.cpp LIBS varn_lz ZLIB::ZLIB)
