varn_add_test(test_app SOURCES test_app.cpp LIBS varn_app)
