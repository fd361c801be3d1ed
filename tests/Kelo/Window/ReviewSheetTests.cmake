# The review sheet and the byte-count texts it shows, on the offscreen platform.
add_executable(ReviewSheetTests
    ReviewSheetTest.cpp
    ByteCountTest.cpp
    ${CMAKE_SOURCE_DIR}/tests/Support/QtWidgetsTestMain.cpp)
target_include_directories(ReviewSheetTests PRIVATE ${CMAKE_SOURCE_DIR}/tests/Support)
target_link_libraries(ReviewSheetTests PRIVATE KeloWindow KeloApp Qt6::Test GTest::gtest
    kelo_warnings)
gtest_discover_tests(ReviewSheetTests DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
