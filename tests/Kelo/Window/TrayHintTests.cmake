# The window's line about a missing tray, against a StatusNotifier watcher of the test's own on a
# private session bus that starts no services by itself.
add_executable(TrayHintTests TrayHintTest.cpp ${CMAKE_SOURCE_DIR}/tests/Support/QtWidgetsTestMain.cpp)
target_include_directories(TrayHintTests PRIVATE ${CMAKE_SOURCE_DIR}/tests/Support)
target_link_libraries(TrayHintTests PRIVATE KeloWindow Qt6::Test GTest::gtest kelo_warnings)
set_target_properties(TrayHintTests PROPERTIES AUTOMOC ON)
# Without the program the tests find no bus, and skip.
if(DBUS_RUN_SESSION)
    set_target_properties(TrayHintTests PROPERTIES CROSSCOMPILING_EMULATOR
        "${DBUS_RUN_SESSION};--config-file=${CMAKE_SOURCE_DIR}/tests/Kelo/Platform/PrivateSessionBus.conf;--")
endif()
gtest_discover_tests(TrayHintTests DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
