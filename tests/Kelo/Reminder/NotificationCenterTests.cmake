# The notification center, on private session buses that start no services by themselves.
find_program(XVFB_RUN xvfb-run)
find_program(DBUS_RUN_SESSION dbus-run-session)
set(notificationBus ${CMAKE_CURRENT_SOURCE_DIR}/PrivateSessionBus.conf)

add_executable(NotificationCenterTests
    NotificationCenterTest.cpp ${CMAKE_SOURCE_DIR}/tests/Support/QtTestMain.cpp)
set_target_properties(NotificationCenterTests PROPERTIES AUTOMOC ON)
target_link_libraries(NotificationCenterTests PRIVATE
    KeloReminder Qt6::Test Qt6::DBus GTest::gtest kelo_warnings)
if(DBUS_RUN_SESSION)
    set_target_properties(NotificationCenterTests PROPERTIES CROSSCOMPILING_EMULATOR
        "${DBUS_RUN_SESSION};--config-file=${notificationBus};--")
endif()
gtest_discover_tests(NotificationCenterTests DISCOVERY_MODE PRE_TEST)

# With dunst, the notification server a user may have, on a virtual X display.
add_executable(NotificationCenterDunstTests
    NotificationCenterDunstTest.cpp ${CMAKE_SOURCE_DIR}/tests/Support/QtTestMain.cpp)
target_link_libraries(NotificationCenterDunstTests PRIVATE
    KeloReminder Qt6::Test Qt6::DBus GTest::gtest kelo_warnings)
if(XVFB_RUN AND DBUS_RUN_SESSION)
    set_target_properties(NotificationCenterDunstTests PROPERTIES CROSSCOMPILING_EMULATOR
        "${XVFB_RUN};-a;${DBUS_RUN_SESSION};--config-file=${notificationBus};--")
endif()
gtest_discover_tests(NotificationCenterDunstTests DISCOVERY_MODE PRE_TEST)
