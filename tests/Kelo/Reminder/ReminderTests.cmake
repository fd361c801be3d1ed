add_executable(ReminderTests ReminderTest.cpp ${CMAKE_SOURCE_DIR}/tests/Support/QtTestMain.cpp)
target_include_directories(ReminderTests PRIVATE ${CMAKE_SOURCE_DIR}/tests/Support)
target_link_libraries(ReminderTests PRIVATE KeloReminder Qt6::Test GTest::gtest kelo_warnings)
gtest_discover_tests(ReminderTests DISCOVERY_MODE PRE_TEST PROPERTIES ENVIRONMENT "LC_ALL=nl_NL.UTF-8;LANGUAGE=nl")
