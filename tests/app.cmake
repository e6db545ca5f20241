varn_add_test(test_app SOURCES test_app.cpp LIBS varn_app)
varn_add_test(test_action_runner SOURCES test_action_runner.cpp LIBS varn_app)
