# Moving files to the freedesktop.org Trash, on real files (and a tmpfs when running as root).
add_executable(TrashTests TrashTest.cpp)
target_include_directories(TrashTests PRIVATE ${CMAKE_SOURCE_DIR}/tests/Support)
target_link_libraries(TrashTests PRIVATE KeloShelfCore GTest::gtest_main kelo_warnings)
gtest_discover_tests(TrashTests DISCOVERY_MODE PRE_TEST)
