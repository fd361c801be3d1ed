# What the shelf window and the review say to assistive technology through Qt's accessibility
# interfaces, and how far the keyboard alone gets in them, on the offscreen platform.
add_executable(AccessibilityTests AccessibilityTest.cpp
    ${CMAKE_SOURCE_DIR}/tests/Support/QtWidgetsTestMain.cpp)
target_include_directories(AccessibilityTests PRIVATE ${CMAKE_SOURCE_DIR}/tests/Support)
target_link_libraries(AccessibilityTests PRIVATE KeloWindow Qt6::Test GTest::gtest kelo_warnings)
gtest_discover_tests(AccessibilityTests DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
