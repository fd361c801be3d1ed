add_executable(ShelfWindowTests ShelfWindowTest.cpp ${CMAKE_SOURCE_DIR}/tests/Support/QtWidgetsTestMain.cpp)
target_include_directories(ShelfWindowTests PRIVATE ${CMAKE_SOURCE_DIR}/tests/Support)
target_link_libraries(ShelfWindowTests PRIVATE KeloWindow Qt6::Test GTest::gtest kelo_warnings)
gtest_discover_tests(ShelfWindowTests DISCOVERY_MODE PRE_TEST PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
