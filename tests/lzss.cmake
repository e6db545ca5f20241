varn_add_test(test_lzss SOURCES test_lzss.cpp lzss_reference.cpp LIBS varn_lz)
# The same suite against the encoder built without its assembly.
if(TARGET varn_lz_portable)
  varn_add_test(test_lzss_portable PREFIX "Portable." SOURCES test_lzss.cpp lzss_reference.cpp
                LIBS varn_lz_portable)
endif()
