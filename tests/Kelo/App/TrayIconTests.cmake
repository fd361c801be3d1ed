# The tray icon as drawn, on the offscreen platform; also writes a contact sheet of it.
find_package(Qt6 6.4 REQUIRED COMPONENTS Gui Svg)
add_executable(TrayIconTests TrayIconTest.cpp)
target_link_libraries(TrayIconTests PRIVATE KeloAppCore Qt6::Gui Qt6::Svg GTest::gtest
    kelo_warnings)
target_compile_definitions(TrayIconTests PRIVATE
    KELO_DEFAULT_ICON_SHEET="${CMAKE_BINARY_DIR}/tray-icons.png")
gtest_discover_tests(TrayIconTests DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
