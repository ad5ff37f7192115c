# kf_test_dir(<name> DIR <folder> LIBS <targets...> [LABELS <labels...>] [XVFB])
#
# Builds every *_test.cpp in <folder> into one GoogleTest executable named test_<name> and
# registers each test case with CTest.
include(GoogleTest)

function(kf_test_dir name)
    cmake_parse_arguments(T "XVFB" "DIR" "LIBS;LABELS" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS "${T_DIR}/*_test.cpp" "${T_DIR}/*_helpers.cpp")
    if(NOT sources)
        message(FATAL_ERROR "kf_test_dir(${name}): no *_test.cpp in ${T_DIR}")
    endif()
    if(NOT T_LABELS)
        set(T_LABELS unit)
    endif()
    add_executable(test_${name} ${sources})
    # Tests see the headers of the layers they link, like any other code.
    target_include_directories(test_${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
    target_link_libraries(test_${name} PRIVATE ${T_LIBS} kf_test_support GTest::gtest GTest::gmock)
    if(T_XVFB)
        # Windowed tests get their own virtual X server, for discovery and for every run.
        set_target_properties(test_${name} PROPERTIES
            CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/scripts/xvfb-run-test.sh)
    endif()
    # The environment Qt and the engine need (offscreen platform, no sandbox as root, a private
    # runtime folder) is set by the shared test main, so a hand-run test behaves the same.
    gtest_discover_tests(test_${name}
        DISCOVERY_TIMEOUT 60
        PROPERTIES LABELS "${T_LABELS}" TIMEOUT 300)
endfunction()
