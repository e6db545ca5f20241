varn_add_test(test_lzh SOURCES test_lzh.cpp lzh_reference.cpp LIBS varn_lz ZLIB::ZLIB)
