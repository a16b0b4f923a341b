# The WebAssembly build (emcmake cmake --preset web): the core of the program as one ES module
# with the WebAssembly code inside, the npm package's, and the page: its own files from web/
# beside the package's host and that module in site/, ready to be served as they are.

# Linking runs emscripten's JavaScript optimiser under node, which needs the acorn modules
# Debian installs in /usr/share/nodejs; node does not look there by itself.
if(EXISTS /usr/share/nodejs/acorn AND NOT "$ENV{NODE_PATH}" MATCHES "/usr/share/nodejs")
  set(CMAKE_CXX_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env
                                "NODE_PATH=/usr/share/nodejs:$ENV{NODE_PATH}")
endif()

set(SONDRAX_SITE ${CMAKE_BINARY_DIR}/site)
find_program(SONDRAX_NODE node REQUIRED)

# The program as one ES module, npm/sondrax-core.js, for the npm package (npm/ is the package,
# run and tested from the source tree), the page's worker and the tests alike: emscripten's
# glue with the WebAssembly code gzipped inside it (cmake/embed-wasm.mjs). It is built into the
# source tree because the package is; git ignores it. No file system: the platform layer reads
# and writes through the host, npm/run.js. Asyncify lets a read the host answers with a promise
# (a Blob in a browser) suspend the run until the bytes come. Node takes the browsers' code
# path, which needs nothing of node's. The module holds sondrax-check too: the package's second
# command, and the JSON lines and repair plans of the page.
add_executable(sondrax_web src/WebMain.cc)
target_link_libraries(sondrax_web PRIVATE sondrax_check_core)
set_target_properties(sondrax_web PROPERTIES OUTPUT_NAME sondrax-glue RUNTIME_OUTPUT_DIRECTORY
                                                                      ${CMAKE_BINARY_DIR}/core)
target_link_options(
  sondrax_web
  PRIVATE
  -sMODULARIZE=1
  -sEXPORT_ES6=1
  -sEXPORT_NAME=SondraxModule
  -sENVIRONMENT=web,worker
  -sFILESYSTEM=0
  -sASYNCIFY=1
  -sASYNCIFY_IMPORTS=HostRead
  -sEXPORTED_FUNCTIONS=_SondraxReport,_SondraxRecord,_SondraxDiagnosis,_SondraxCheckLine,_SondraxRepairPlan,_SondraxCheck
  -sEXPORTED_RUNTIME_METHODS=ccall
  # emscripten's small allocator: 10 KB less than its default, and as fast here.
  -sMALLOC=emmalloc)
set(SONDRAX_CORE_MODULE ${PROJECT_SOURCE_DIR}/npm/sondrax-core.js)
add_custom_command(
  OUTPUT ${SONDRAX_CORE_MODULE}
  COMMAND ${SONDRAX_NODE} ${PROJECT_SOURCE_DIR}/cmake/embed-wasm.mjs $<TARGET_FILE:sondrax_web>
          ${CMAKE_BINARY_DIR}/core/sondrax-glue.wasm ${SONDRAX_CORE_MODULE}
  DEPENDS sondrax_web ${PROJECT_SOURCE_DIR}/cmake/embed-wasm.mjs)
# The package carries the project's licence; npm takes it from the package's folder.
add_custom_command(
  OUTPUT ${PROJECT_SOURCE_DIR}/npm/LICENSE
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/npm/LICENSE
  DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)
add_custom_target(sondrax_npm ALL DEPENDS ${SONDRAX_CORE_MODULE} ${PROJECT_SOURCE_DIR}/npm/LICENSE)

# The package's version is the project's.
file(READ ${PROJECT_SOURCE_DIR}/npm/package.json SONDRAX_NPM_JSON)
string(JSON SONDRAX_NPM_VERSION GET "${SONDRAX_NPM_JSON}" version)
if(NOT SONDRAX_NPM_VERSION STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "npm/package.json says version ${SONDRAX_NPM_VERSION}, "
                      "the project ${PROJECT_VERSION}")
endif()

# The example report one click away is the program's own example file.
set(SONDRAX_PAGE_FILES
    web/index.html
    web/style.css
    web/boot.js
    web/app.js
    web/map.js
    web/report-text.js
    web/worker.js
    web/sw.js
    examples/example.wav
    npm/run.js
    npm/inputs.js
    npm/sondrax-core.js)
set(SONDRAX_PAGE_OUTPUTS)
foreach(page_file IN LISTS SONDRAX_PAGE_FILES)
  get_filename_component(site_file ${page_file} NAME)
  add_custom_command(
    OUTPUT ${SONDRAX_SITE}/${site_file}
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/${page_file} ${SONDRAX_SITE}/${site_file}
    DEPENDS ${PROJECT_SOURCE_DIR}/${page_file})
  list(APPEND SONDRAX_PAGE_OUTPUTS ${SONDRAX_SITE}/${site_file})
endforeach()
add_custom_target(sondrax_page ALL DEPENDS ${SONDRAX_PAGE_OUTPUTS})

# The tests of the module and the page. They compare with the native program's output, so they
# need its build; the page's tests also need playwright-core in tests/web/node_modules
# (tools/install-deps.sh installs it).
if(SONDRAX_TESTS)
  set(SONDRAX_NATIVE_PROGRAM ${PROJECT_SOURCE_DIR}/build/sondrax
      CACHE FILEPATH "The native sondrax whose output the module and the page must reproduce")
  enable_testing()
  foreach(web_test core page)
    add_test(NAME web_${web_test} COMMAND ${SONDRAX_NODE} --test
                                          ${PROJECT_SOURCE_DIR}/tests/web/${web_test}.test.mjs)
    set_tests_properties(
      web_${web_test}
      PROPERTIES ENVIRONMENT
                 "SONDRAX_SITE=${SONDRAX_SITE};SONDRAX_NATIVE=${SONDRAX_NATIVE_PROGRAM}")
  endforeach()
  # The package as it lies in npm/, as tools/npm-check.sh tests it installed from its tarball;
  # its sondrax-check against the native one beside the native program.
  get_filename_component(SONDRAX_NATIVE_DIR ${SONDRAX_NATIVE_PROGRAM} DIRECTORY)
  add_test(NAME npm_source COMMAND ${SONDRAX_NODE} --test
                                   ${PROJECT_SOURCE_DIR}/tests/npm/install.test.mjs)
  add_test(NAME npm_check COMMAND ${SONDRAX_NODE} --test
                                  ${PROJECT_SOURCE_DIR}/tests/npm/check.test.mjs)
  set_tests_properties(
    npm_source npm_check
    PROPERTIES
      ENVIRONMENT
      "SONDRAX_NATIVE=${SONDRAX_NATIVE_PROGRAM};SONDRAX_NATIVE_CHECK=${SONDRAX_NATIVE_DIR}/sondrax-check"
  )
  set_tests_properties(npm_check PROPERTIES LABELS web)
  set_tests_properties(web_core PROPERTIES LABELS "web;report")
  set_tests_properties(web_page npm_source PROPERTIES LABELS browser)
  # A look at the page with two reports, kept in the build directory.
  set_property(TEST web_page APPEND PROPERTY ENVIRONMENT
                                             "SONDRAX_SCREENSHOT=${CMAKE_BINARY_DIR}/page.png")
  # Chromium keeps its crash reports and dconf its cache under the user's configuration and
  # cache directories whatever profile it runs with: those lie in the build directory here.
  set_property(
    TEST web_page npm_source APPEND
    PROPERTY ENVIRONMENT "XDG_CONFIG_HOME=${CMAKE_BINARY_DIR}/browser-home/config"
             "XDG_CACHE_HOME=${CMAKE_BINARY_DIR}/browser-home/cache")
endif()
