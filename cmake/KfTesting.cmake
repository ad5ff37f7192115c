# kf_test_dir(<name> DIR <folder> LIBS <targets...> [LABELS <labels...>] [QT])
#
# Builds every *_test.cpp in <folder> into one GoogleTest executable named test_<name> and
# registers each test case with CTest. Tests run with the environment that Qt and the browser
# engine need here (offscreen platform, no sandbox as root, a private runtime folder).
include(GoogleTest)

set(KF_TEST_RUNTIME_DIR "${CMAKE_BINARY_DIR}/test-runtime")
file(MAKE_DIRECTORY "${KF_TEST_RUNTIME_DIR}")
file(CHMOD "${KF_TEST_RUNTIME_DIR}" DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)

set(KF_TEST_ENV
    "QT_QPA_PLATFORM=offscreen"
    "QT_QUICK_BACKEND=software"
    "QTWEBENGINE_DISABLE_SANDBOX=1"
    "QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu --no-sandbox"
    "XDG_RUNTIME_DIR=${KF_TEST_RUNTIME_DIR}"
    "KF_SOURCE_DIR=${CMAKE_SOURCE_DIR}"
    "KF_BINARY_DIR=${CMAKE_BINARY_DIR}"
    "KF_APP_DIR=${KF_APP_DIR}"
    "ASAN_OPTIONS=detect_leaks=0"
    "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")

function(kf_test_dir name)
    cmake_parse_arguments(T "" "DIR" "LIBS;LABELS" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS "${T_DIR}/*_test.cpp" "${T_DIR}/*_helpers.cpp")
    if(NOT sources)
        return()
    endif()
    if(NOT T_LABELS)
        set(T_LABELS unit)
    endif()
    add_executable(test_${name} ${sources})
    target_include_directories(test_${name} PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
    target_link_libraries(test_${name} PRIVATE ${T_LIBS} kf_test_support GTest::gtest GTest::gmock)
    gtest_discover_tests(test_${name}
        DISCOVERY_TIMEOUT 60
        PROPERTIES LABELS "${T_LABELS}" ENVIRONMENT "${KF_TEST_ENV}" TIMEOUT 300)
endfunction()
