# The message boxes of the window and its dialogs, on the offscreen platform.
add_executable(MessageBoxTests MessageBoxTest.cpp
    ${CMAKE_SOURCE_DIR}/tests/Support/QtWidgetsTestMain.cpp)
target_include_directories(MessageBoxTests PRIVATE ${CMAKE_SOURCE_DIR}/tests/Support)
target_link_libraries(MessageBoxTests PRIVATE KeloWindow Qt6::Test GTest::gtest kelo_warnings)
gtest_discover_tests(MessageBoxTests DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
