# The WebAssembly build and the page (emcmake cmake -S . -B build-web): the core of the program
# as one JavaScript file with the WebAssembly module inside, and the page's own files from web/
# beside it in site/, ready to be served as they are.

# Linking runs emscripten's JavaScript optimiser under node, which needs the acorn modules
# Debian installs in /usr/share/nodejs; node does not look there by itself.
if(EXISTS /usr/share/nodejs/acorn AND NOT "$ENV{NODE_PATH}" MATCHES "/usr/share/nodejs")
  set(CMAKE_CXX_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env
                                "NODE_PATH=/usr/share/nodejs:$ENV{NODE_PATH}")
endif()

set(SONDRAX_SITE ${CMAKE_BINARY_DIR}/site)

add_executable(sondrax_web src/WebMain.cc)
target_link_libraries(sondrax_web PRIVATE sondrax_core)
set_target_properties(sondrax_web PROPERTIES OUTPUT_NAME sondrax RUNTIME_OUTPUT_DIRECTORY
                                                                 ${SONDRAX_SITE})
# One file, compiled synchronously: the page's worker loads it with importScripts, and node
# loads it with require for the tests, both without fetching anything more. No file system:
# the platform layer reads from the page's File and hands the output bytes to the page.
target_link_options(
  sondrax_web
  PRIVATE
  -sMODULARIZE=1
  -sEXPORT_NAME=SondraxModule
  -sSINGLE_FILE=1
  -sWASM_ASYNC_COMPILATION=0
  -sENVIRONMENT=worker,node
  -sFILESYSTEM=0
  -sEXPORTED_FUNCTIONS=_SondraxReport,_SondraxRecord,_SondraxDiagnosis
  -sEXPORTED_RUNTIME_METHODS=ccall)

# The npm package (tools/npm-pack.sh configures build-npm/ with SONDRAX_NPM=ON): the same program
# as an ES module for node and browsers, beside the package's own files from npm/, in
# npm/package/. Unlike the page's worker, a browser's main thread may not compile a module of
# this size synchronously, so it compiles asynchronously; and node, whose ES modules have no
# require, takes the browsers' code path, which needs nothing of node's. The module also holds
# sondrax-check, which the package's second command runs under node.
option(SONDRAX_NPM "Build the npm package's files in npm/package/" OFF)
if(SONDRAX_NPM)
  set(SONDRAX_NPM_DIR ${CMAKE_BINARY_DIR}/npm/package)
  add_executable(sondrax_npm_core src/WebMain.cc)
  target_link_libraries(sondrax_npm_core PRIVATE sondrax_check_core)
  target_compile_definitions(sondrax_npm_core PRIVATE SONDRAX_WEB_CHECK)
  set_target_properties(sondrax_npm_core PROPERTIES OUTPUT_NAME sondrax-umd RUNTIME_OUTPUT_DIRECTORY
                                                                            ${CMAKE_BINARY_DIR}/npm)
  target_link_options(
    sondrax_npm_core
    PRIVATE
    -sMODULARIZE=1
    -sEXPORT_NAME=SondraxModule
    -sSINGLE_FILE=1
    -sENVIRONMENT=web,worker
    -sFILESYSTEM=0
    -sEXPORTED_FUNCTIONS=_SondraxReport,_SondraxRecord,_SondraxDiagnosis,_SondraxCheck
    -sEXPORTED_RUNTIME_METHODS=ccall
    # emscripten's small allocator: 10 KB less than its default, and as fast here (report() on a
    # path or on bytes, and sondrax-check on 3000 small files, measured).
    -sMALLOC=emmalloc)
  add_custom_command(
    OUTPUT ${SONDRAX_NPM_DIR}/sondrax-core.js
    COMMAND
      ${CMAKE_COMMAND} -DINPUT=$<TARGET_FILE:sondrax_npm_core>
      -DOUTPUT=${SONDRAX_NPM_DIR}/sondrax-core.js -P ${PROJECT_SOURCE_DIR}/cmake/EsModule.cmake
    DEPENDS sondrax_npm_core ${PROJECT_SOURCE_DIR}/cmake/EsModule.cmake)
  configure_file(${PROJECT_SOURCE_DIR}/npm/package.json.in ${SONDRAX_NPM_DIR}/package.json @ONLY)
  set(SONDRAX_NPM_OUTPUTS ${SONDRAX_NPM_DIR}/sondrax-core.js)
  foreach(
    npm_file
    npm/index.js
    npm/index.d.ts
    npm/run.js
    npm/node-input.js
    npm/node-streams.js
    npm/node-folders.js
    npm/cli.js
    npm/check-cli.js
    npm/README.md
    web/record.js
    LICENSE)
    get_filename_component(npm_name ${npm_file} NAME)
    add_custom_command(
      OUTPUT ${SONDRAX_NPM_DIR}/${npm_name}
      COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/${npm_file}
              ${SONDRAX_NPM_DIR}/${npm_name} DEPENDS ${PROJECT_SOURCE_DIR}/${npm_file})
    list(APPEND SONDRAX_NPM_OUTPUTS ${SONDRAX_NPM_DIR}/${npm_name})
  endforeach()
  add_custom_target(sondrax_npm ALL DEPENDS ${SONDRAX_NPM_OUTPUTS})
endif()

# The example report one click away is the program's own example file.
set(SONDRAX_PAGE_FILES
    index.html
    style.css
    boot.js
    app.js
    record.js
    map.js
    report-text.js
    worker.js
    sw.js
    ../examples/example.wav)
set(SONDRAX_PAGE_OUTPUTS)
foreach(page_file IN LISTS SONDRAX_PAGE_FILES)
  get_filename_component(site_file ${page_file} NAME)
  add_custom_command(
    OUTPUT ${SONDRAX_SITE}/${site_file}
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/web/${page_file}
            ${SONDRAX_SITE}/${site_file} DEPENDS ${PROJECT_SOURCE_DIR}/web/${page_file})
  list(APPEND SONDRAX_PAGE_OUTPUTS ${SONDRAX_SITE}/${site_file})
endforeach()
add_custom_target(sondrax_page ALL DEPENDS ${SONDRAX_PAGE_OUTPUTS})

# The tests of the module and the page. They compare with the native program's output, so they
# need its build; the page's tests also need playwright-core in tests/web/node_modules
# (tools/install-deps.sh installs it).
if(SONDRAX_TESTS)
  set(SONDRAX_NATIVE_PROGRAM ${PROJECT_SOURCE_DIR}/build/sondrax
      CACHE FILEPATH "The native sondrax whose output the module and the page must reproduce")
  find_program(SONDRAX_NODE node REQUIRED)
  enable_testing()
  foreach(web_test core page)
    add_test(NAME web_${web_test} COMMAND ${SONDRAX_NODE} --test
                                          ${PROJECT_SOURCE_DIR}/tests/web/${web_test}.test.mjs)
    set_tests_properties(
      web_${web_test}
      PROPERTIES ENVIRONMENT
                 "SONDRAX_SITE=${SONDRAX_SITE};SONDRAX_NATIVE=${SONDRAX_NATIVE_PROGRAM}")
  endforeach()
  set_tests_properties(web_core PROPERTIES LABELS "web;report")
  set_tests_properties(web_page PROPERTIES LABELS browser)
  # A look at the page with two reports, kept in the build directory.
  set_property(TEST web_page APPEND PROPERTY ENVIRONMENT
                                             "SONDRAX_SCREENSHOT=${CMAKE_BINARY_DIR}/page.png")
  # Chromium keeps its crash reports and dconf its cache under the user's configuration and
  # cache directories whatever profile it runs with: those lie in the build directory here.
  set_property(
    TEST web_page APPEND
    PROPERTY ENVIRONMENT "XDG_CONFIG_HOME=${CMAKE_BINARY_DIR}/browser-home/config"
             "XDG_CACHE_HOME=${CMAKE_BINARY_DIR}/browser-home/cache")
endif()
