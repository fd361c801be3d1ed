# The updater against a loopback HTTP server of the test's own.
find_package(Qt6 6.4 REQUIRED COMPONENTS Core Test Network Widgets)
add_executable(UpdaterTests UpdaterTest.cpp ${CMAKE_SOURCE_DIR}/tests/Support/QtWidgetsTestMain.cpp)
target_include_directories(UpdaterTests PRIVATE ${CMAKE_SOURCE_DIR}/tests/Support)
target_link_libraries(UpdaterTests PRIVATE
    KeloUpdates PkgConfig::SODIUM Qt6::Test Qt6::Network GTest::gtest kelo_warnings)
gtest_discover_tests(UpdaterTests DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
