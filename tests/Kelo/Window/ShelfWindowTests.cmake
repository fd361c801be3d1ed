# The shelf window, its list and review sheet over real stamped files, on the offscreen platform.
# The list test leaves pictures of the list (KELO_LIST_PICTURE, or shelf-list.png in the build
# folder).
add_executable(ShelfWindowTests ShelfWindowTest.cpp ShelfListTest.cpp ReviewSheetTest.cpp
    ${CMAKE_SOURCE_DIR}/tests/Support/QtWidgetsTestMain.cpp)
target_include_directories(ShelfWindowTests PRIVATE ${CMAKE_SOURCE_DIR}/tests/Support)
target_link_libraries(ShelfWindowTests PRIVATE KeloWindow Qt6::Test GTest::gtest kelo_warnings)
target_compile_definitions(ShelfWindowTests PRIVATE
    KELO_DEFAULT_LIST_PICTURE="${CMAKE_BINARY_DIR}/shelf-list.png")
gtest_discover_tests(ShelfWindowTests DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
