# One helper to add a GoogleTest executable and register its cases with CTest.
#   corvane_add_test(NAME name SOURCES a.cpp ... LIBS lib ... [LABELS fast|slow|tsan ...])
find_package(GTest REQUIRED)
include(GoogleTest)

function(corvane_add_test)
    cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
    set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    if(NOT T_LABELS)
        set(T_LABELS fast)
    endif()
    gtest_discover_tests(${T_NAME}
        WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/tests
        DISCOVERY_TIMEOUT 60
        PROPERTIES LABELS "${T_LABELS}"
                   ENVIRONMENT "QT_QPA_PLATFORM=offscreen;CORVANE_BIN_DIR=${CMAKE_BINARY_DIR}/bin;CORVANE_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
endfunction()
