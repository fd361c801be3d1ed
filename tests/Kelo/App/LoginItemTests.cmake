# The login item, with the user defaults and the log it depends on.
add_executable(LoginItemTests
    LoginItemTest.cpp
    UserDefaultsTest.cpp
    LogTest.cpp
    ${CMAKE_SOURCE_DIR}/tests/Support/QtTestMain.cpp)
target_include_directories(LoginItemTests PRIVATE ${CMAKE_SOURCE_DIR}/tests/Support)
target_link_libraries(LoginItemTests PRIVATE KeloAppCore GTest::gtest kelo_warnings)
# The autostart entry the Debian package installs, compared byte for byte with what Kelo writes.
target_compile_definitions(LoginItemTests PRIVATE
    KELO_AUTOSTART_TEMPLATE="${CMAKE_SOURCE_DIR}/packaging/autostart/wex.dorvel.Kelo.desktop")
gtest_discover_tests(LoginItemTests DISCOVERY_MODE PRE_TEST)
