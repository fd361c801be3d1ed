# The English translation as built into Kelo, and whether every text in the code has one.
find_package(Qt6 6.4 REQUIRED COMPONENTS LinguistTools)
add_executable(TranslationTests TranslationTest.cpp ${CMAKE_SOURCE_DIR}/tests/Support/QtTestMain.cpp)
target_include_directories(TranslationTests PRIVATE ${CMAKE_SOURCE_DIR}/tests/Support)
target_link_libraries(TranslationTests PRIVATE KeloApp GTest::gtest kelo_warnings)
target_compile_definitions(TranslationTests PRIVATE
    KELO_LUPDATE="$<TARGET_FILE:Qt6::lupdate>"
    KELO_SOURCES="${CMAKE_SOURCE_DIR}/Kelo"
    KELO_ENGLISH_TS="${CMAKE_SOURCE_DIR}/Kelo/Translations/kelo_en.ts")
gtest_discover_tests(TranslationTests DISCOVERY_MODE PRE_TEST)
