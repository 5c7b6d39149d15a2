# One helper to add a GoogleTest executable and register its cases with CTest.
#   corvane_add_test(NAME name SOURCES a.cpp ... LIBS lib ... [LABELS fast|slow|tsan ...])
find_package(GTest REQUIRED)
include(GoogleTest)

# Test code is built for a short build, not for speed: the code under test
# keeps its own flags, and line tables are all a failure's stack needs.
# Each test directory adds these to everything it defines.
set(CORVANE_TEST_COMPILE_OPTIONS -O1 -g1)

function(corvane_add_test)
    cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
    set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    if(NOT T_LABELS)
        set(T_LABELS fast)
    endif()
    # Where the deliverables and sources are, baked in: a list of variables in
    # ENVIRONMENT would be split apart by gtest_discover_tests. The environment
    # variables of the same names still win when set.
    target_compile_definitions(${T_NAME} PRIVATE
        CORVANE_TEST_BIN_DIR="${CMAKE_BINARY_DIR}/bin" CORVANE_TEST_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
    # The ThreadSanitizer stage builds only what its tests need.
    if("tsan" IN_LIST T_LABELS)
        set_property(GLOBAL APPEND PROPERTY CORVANE_TSAN_TESTS ${T_NAME})
    endif()
    list(GET T_LABELS 0 _first_label)
    # Cross-built tests list their cases through the emulator when CTest
    # starts, once per executable, not on every build.
    if(CMAKE_CROSSCOMPILING)
        set(_discovery DISCOVERY_MODE PRE_TEST)
    else()
        set(_discovery)
    endif()
    gtest_discover_tests(${T_NAME}
        WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/tests
        DISCOVERY_TIMEOUT 60 ${_discovery}
        PROPERTIES LABELS "${_first_label}" ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
    # gtest_discover_tests flattens a list of labels into property names; a
    # second label ("fast;tsan") is set on the discovered tests afterwards.
    list(LENGTH T_LABELS _label_count)
    if(_label_count GREATER 1)
        set(_labels_file ${CMAKE_CURRENT_BINARY_DIR}/${T_NAME}_labels.cmake)
        file(WRITE ${_labels_file}
            "if(DEFINED ${T_NAME}_TESTS)\n"
            "  set_tests_properties(\${${T_NAME}_TESTS} PROPERTIES LABELS \"${T_LABELS}\")\n"
            "endif()\n")
        set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${_labels_file})
    endif()
endfunction()
