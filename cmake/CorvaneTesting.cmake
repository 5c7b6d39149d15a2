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
    # Where the deliverables and sources are, baked in: a list of variables in
    # ENVIRONMENT would be split apart by gtest_discover_tests. The environment
    # variables of the same names still win when set.
    target_compile_definitions(${T_NAME} PRIVATE
        CORVANE_TEST_BIN_DIR="${CMAKE_BINARY_DIR}/bin" CORVANE_TEST_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
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
