# The shelf window, its list and review sheet over real stamped files, the file-manager dialog and
# the message boxes, on the offscreen platform.
add_executable(WindowTests ShelfWindowTest.cpp ShelfListTest.cpp ReviewSheetTest.cpp
    IntegrationTest.cpp MessageBoxTest.cpp ${CMAKE_SOURCE_DIR}/tests/Support/QtWidgetsTestMain.cpp)
target_include_directories(WindowTests PRIVATE ${CMAKE_SOURCE_DIR}/tests/Support)
target_link_libraries(WindowTests PRIVATE KeloWindow Qt6::Test GTest::gtest kelo_warnings)
target_compile_definitions(WindowTests PRIVATE KELO_FINDER="$<TARGET_FILE:kelo-finder>")
add_dependencies(WindowTests kelo-finder)
gtest_discover_tests(WindowTests DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
