# One QtTest executable per source file, registered with CTest under a label,
# run on the offscreen platform so that windows really paint without a display, with
# a device lock folder of its own: every test's emulated device has the same path.
function(add_qt_test name)
    cmake_parse_arguments(T "" "LABEL;TIMEOUT" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE Qt5::Test ${T_LIBS})
    add_test(NAME ${name} COMMAND ${name})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    set_tests_properties(${name} PROPERTIES
        LABELS "${T_LABEL}"
        TIMEOUT ${T_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QTEST_DISABLE_STACK_DUMP=1;LC_ALL=C.UTF-8;RIVET_LOCK_DIR=${CMAKE_CURRENT_BINARY_DIR}/${name}.locks;LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/.ci/lsan.supp")
endfunction()
