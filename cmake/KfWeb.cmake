# The pages (web/): TypeScript built with Vite into one client.html, staged under
# ${KF_WEB_PAGES_DIR}/black/ for packing into theme.pak ("black/client.html" is the start page's
# key). npm ci runs only when web/node_modules is missing or package-lock.json changed.
# Also registers the pages' own tests: unit tests (Vitest) and page tests (Debian's chromium
# driven by playwright-core against a mock bridge).
find_program(KF_NPM npm)
find_program(KF_NODE node)
if(NOT KF_NPM OR NOT KF_NODE)
    message(FATAL_ERROR "node and npm are needed to build the pages: run scripts/install-deps.sh")
endif()

set(KF_WEB_DIR ${CMAKE_SOURCE_DIR}/web)
set(KF_WEB_PAGES_DIR ${CMAKE_BINARY_DIR}/web/pages)
set(KF_WEB_PAGE ${KF_WEB_PAGES_DIR}/black/client.html)

file(GLOB_RECURSE KF_WEB_SOURCES CONFIGURE_DEPENDS ${KF_WEB_DIR}/src/*)
list(APPEND KF_WEB_SOURCES ${KF_WEB_DIR}/client.html ${KF_WEB_DIR}/vite.config.ts ${KF_WEB_DIR}/package.json)

# The build first installs the locked packages when they are missing or stale (cheap when not).
add_custom_command(OUTPUT ${KF_WEB_PAGE}
    COMMAND ${CMAKE_COMMAND} -DWEB_DIR=${KF_WEB_DIR} -DNPM=${KF_NPM} -P ${CMAKE_SOURCE_DIR}/cmake/KfWebDeps.cmake
    COMMAND ${CMAKE_COMMAND} -E env KF_WEB_OUT=${KF_WEB_PAGES_DIR}/black ${KF_NPM} run --silent build
    WORKING_DIRECTORY ${KF_WEB_DIR}
    DEPENDS ${KF_WEB_SOURCES} ${KF_WEB_DIR}/package-lock.json ${CMAKE_SOURCE_DIR}/cmake/KfWebDeps.cmake
    COMMENT "Building the pages (vite)")

add_test(NAME web.unit COMMAND ${KF_NPM} run --silent test:unit WORKING_DIRECTORY ${KF_WEB_DIR})
add_test(NAME web.pages COMMAND ${KF_NPM} run --silent test:pages WORKING_DIRECTORY ${KF_WEB_DIR})
set_tests_properties(web.unit PROPERTIES LABELS "web" TIMEOUT 300)
set_tests_properties(web.pages PROPERTIES LABELS "web" TIMEOUT 600 ENVIRONMENT "KF_WEB_OUT=${KF_WEB_PAGES_DIR}/black")
