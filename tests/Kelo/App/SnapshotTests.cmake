# Snapshot mode and the appearances, in process and through the kelo program itself.
add_executable(SnapshotTests SnapshotTest.cpp
    ${CMAKE_SOURCE_DIR}/tests/Support/QtWidgetsTestMain.cpp)
target_include_directories(SnapshotTests PRIVATE ${CMAKE_SOURCE_DIR}/tests/Support)
target_link_libraries(SnapshotTests PRIVATE KeloApp GTest::gtest kelo_warnings)
target_compile_definitions(SnapshotTests PRIVATE KELO_PROGRAM="$<TARGET_FILE:kelo>")
add_dependencies(SnapshotTests kelo)
kelo_on_private_bus(SnapshotTests)
gtest_discover_tests(SnapshotTests DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen TIMEOUT 60)
