varn_add_test(test_lzss SOURCES test_lzss.cpp lzss_reference.cpp LIBS varn_lz)
