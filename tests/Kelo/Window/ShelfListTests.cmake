# The shelf list: sections, row texts, the row's buttons and actions menu; also leaves pictures
# of the list in light and dark (KELO_LIST_PICTURE, or shelf-list.png in the build folder).
add_executable(ShelfListTests ShelfListTest.cpp
    ${CMAKE_SOURCE_DIR}/tests/Support/QtWidgetsTestMain.cpp)
target_include_directories(ShelfListTests PRIVATE ${CMAKE_SOURCE_DIR}/tests/Support)
target_link_libraries(ShelfListTests PRIVATE KeloWindow Qt6::Test GTest::gtest kelo_warnings)
target_compile_definitions(ShelfListTests PRIVATE
    KELO_DEFAULT_LIST_PICTURE="${CMAKE_BINARY_DIR}/shelf-list.png")
gtest_discover_tests(ShelfListTests DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
