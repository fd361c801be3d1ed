add_executable(AppcastTests AppcastTest.cpp ${CMAKE_SOURCE_DIR}/tests/Support/QtTestMain.cpp)
target_include_directories(AppcastTests PRIVATE ${CMAKE_SOURCE_DIR}/tests/Support)
target_link_libraries(AppcastTests PRIVATE KeloUpdates PkgConfig::SODIUM GTest::gtest kelo_warnings)
gtest_discover_tests(AppcastTests DISCOVERY_MODE PRE_TEST)
