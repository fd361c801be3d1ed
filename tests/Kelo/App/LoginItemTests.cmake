# The login item, with the user defaults and the log it depends on.
add_executable(LoginItemTests
    LoginItemTest.cpp
    UserDefaultsTest.cpp
    LogTest.cpp
    ${CMAKE_SOURCE_DIR}/tests/Support/QtTestMain.cpp)
target_include_directories(LoginItemTests PRIVATE ${CMAKE_SOURCE_DIR}/tests/Support)
target_link_libraries(LoginItemTests PRIVATE KeloAppCore GTest::gtest kelo_warnings)
gtest_discover_tests(LoginItemTests DISCOVERY_MODE PRE_TEST)
