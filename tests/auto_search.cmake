varn_add_test(test_auto_search SOURCES test_auto_search.cpp LIBS varn_search)
