# GoogleTest is built from Debian's sources so that the cross builds get a matching library too.
set(QUARZO_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source tree")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${QUARZO_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
include(GoogleTest)

# quarzo_test(name LABEL label SOURCES ... LIBS ... [SERIAL]): one GoogleTest executable whose cases run as
# CTest tests. SERIAL runs each case alone: cases that time a real line or cable in wall-clock time must not
# share the two cores with other tests.
function(quarzo_test name)
    cmake_parse_arguments(T "SERIAL" "LABEL" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    quarzo_warnings(${name})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main GTest::gmock)
    target_compile_definitions(${name} PRIVATE QUARZO_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
    if(NOT CMAKE_CROSSCOMPILING)
        set(serial OFF)
        if(T_SERIAL)
            set(serial ON)
        endif()
        gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST PROPERTIES LABELS ${T_LABEL} RUN_SERIAL ${serial})
    endif()
endfunction()
