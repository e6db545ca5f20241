varn_add_test(test_lz_support SOURCES test_lz_support.cpp LIBS varn_lz ZLIB::ZLIB)
