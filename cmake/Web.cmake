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
set_target_properties(sondrax_web PROPERTIES
  OUTPUT_NAME sondrax
  RUNTIME_OUTPUT_DIRECTORY ${SONDRAX_SITE})
# One file, compiled synchronously: the page's worker loads it with importScripts, and node
# loads it with require for the tests, both without fetching anything more. No file system:
# the platform layer reads from the page's File and hands the output bytes to the page.
target_link_options(sondrax_web PRIVATE
  -sMODULARIZE=1
  -sEXPORT_NAME=SondraxModule
  -sSINGLE_FILE=1
  -sWASM_ASYNC_COMPILATION=0
  -sENVIRONMENT=worker,node
  -sFILESYSTEM=0
  -sEXPORTED_FUNCTIONS=_SondraxReport,_SondraxRecord
  -sEXPORTED_RUNTIME_METHODS=ccall)

# The example report one click away is the program's own example file.
set(SONDRAX_PAGE_FILES index.html style.css boot.js app.js record.js map.js report-text.js
    worker.js sw.js ../examples/example.wav)
set(SONDRAX_PAGE_OUTPUTS)
foreach(page_file IN LISTS SONDRAX_PAGE_FILES)
  get_filename_component(site_file ${page_file} NAME)
  add_custom_command(OUTPUT ${SONDRAX_SITE}/${site_file}
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/web/${page_file}
            ${SONDRAX_SITE}/${site_file}
    DEPENDS ${PROJECT_SOURCE_DIR}/web/${page_file})
  list(APPEND SONDRAX_PAGE_OUTPUTS ${SONDRAX_SITE}/${site_file})
endforeach()
add_custom_target(sondrax_page ALL DEPENDS ${SONDRAX_PAGE_OUTPUTS})

# The tests of the module and the page. They compare with the native program's output, so they
# need its build; the page's tests also need playwright-core in tests/web/node_modules
# (tools/install-deps.sh installs it).
if(SONDRAX_TESTS)
  set(SONDRAX_NATIVE_PROGRAM ${PROJECT_SOURCE_DIR}/build/sondrax CACHE FILEPATH
      "The native sondrax whose output the module and the page must reproduce")
  find_program(SONDRAX_NODE node REQUIRED)
  enable_testing()
  foreach(web_test core page)
    add_test(NAME web_${web_test}
      COMMAND ${SONDRAX_NODE} --test ${PROJECT_SOURCE_DIR}/tests/web/${web_test}.test.mjs)
    set_tests_properties(web_${web_test} PROPERTIES ENVIRONMENT
      "SONDRAX_SITE=${SONDRAX_SITE};SONDRAX_NATIVE=${SONDRAX_NATIVE_PROGRAM}")
  endforeach()
  # A look at the page with two reports, kept in the build directory.
  set_property(TEST web_page APPEND PROPERTY ENVIRONMENT
    "SONDRAX_SCREENSHOT=${CMAKE_BINARY_DIR}/page.png")
  # Chromium keeps its crash reports and dconf its cache under the user's configuration and
  # cache directories whatever profile it runs with: those lie in the build directory here.
  set_property(TEST web_page APPEND PROPERTY ENVIRONMENT
    "XDG_CONFIG_HOME=${CMAKE_BINARY_DIR}/browser-home/config"
    "XDG_CACHE_HOME=${CMAKE_BINARY_DIR}/browser-home/cache")
endif()
