# The tests beyond the GoogleTest suite, each with the label that the test presets of
# CMakePresets.json choose it by: the cross-checks under qemu (qemu), the stress run on mutated
# files (stress), the bounded fuzz run (fuzz), the packages as users install them (package) and
# the linters (lint). A test whose tool is missing prints a line "SKIPPED: why" and exits with
# 77, which CTest counts as a skip; tools/check.sh shows the reason in its table.
set(SONDRAX_TOOLS ${PROJECT_SOURCE_DIR}/tools)

# A Linux cross-build: its every output against the native program's, under qemu's user-mode
# emulator. The s390x build runs the suite as well (tests/CMakeLists.txt): it is the big-endian
# one, so it catches what the others would and byte-order faults besides.
if(CMAKE_CROSSCOMPILING AND NOT WIN32 AND SONDRAX_CROSS_TRIPLET)
  enable_testing()
  if(SONDRAX_QEMU)
    add_test(NAME Qemu.CrossCheck COMMAND ${SONDRAX_TOOLS}/cross-check.sh ${SONDRAX_NATIVE_PROGRAM}
                                          $<TARGET_FILE:sondrax> ${SONDRAX_QEMU})
  else()
    add_test(
      NAME Qemu.CrossCheck
      COMMAND sh -c
              "echo 'SKIPPED: ${SONDRAX_CROSS_QEMU} is not installed (qemu-user-static)'; exit 77")
  endif()
  set_tests_properties(Qemu.CrossCheck PROPERTIES LABELS "qemu;report" SKIP_RETURN_CODE 77 TIMEOUT
                                                  900)
endif()

# The sanitizer build: the real executable on 1000 mutated files.
if(SONDRAX_SANITIZE AND SONDRAX_TESTS)
  find_package(Python3 COMPONENTS Interpreter)
  if(Python3_FOUND)
    add_test(NAME Stress.MutatedFiles COMMAND ${Python3_EXECUTABLE} ${SONDRAX_TOOLS}/stress.py
                                              --binary $<TARGET_FILE:sondrax> --count 1000 --jobs 2)
  else()
    add_test(NAME Stress.MutatedFiles COMMAND sh -c
                                              "echo 'SKIPPED: python3 is not installed'; exit 77")
  endif()
  set_tests_properties(Stress.MutatedFiles PROPERTIES LABELS stress SKIP_RETURN_CODE 77 TIMEOUT 900)
endif()

# The fuzz build: a bounded libFuzzer run from the seeds (tools/fuzz.sh, which a developer also
# runs for longer).
if(SONDRAX_FUZZ AND NOT SONDRAX_LINT)
  enable_testing()
  add_test(NAME Fuzz.Report60Seconds COMMAND ${SONDRAX_TOOLS}/fuzz.sh 60)
  set_tests_properties(Fuzz.Report60Seconds PROPERTIES LABELS fuzz TIMEOUT 600)
endif()

# The native build: the packages users install, each built from copies of the sources. lintian
# checks the first of the two Debian packages the reproducibility check builds.
if(NOT CMAKE_CROSSCOMPILING AND NOT SONDRAX_SANITIZE AND NOT SONDRAX_FUZZ AND SONDRAX_TESTS)
  add_test(NAME Package.deb COMMAND ${SONDRAX_TOOLS}/package-check.sh reproducible lintian)
  foreach(zip win32 win64)
    add_test(NAME Package.${zip} COMMAND ${SONDRAX_TOOLS}/package-check.sh ${zip})
  endforeach()
  add_test(NAME Package.npm COMMAND ${SONDRAX_TOOLS}/npm-check.sh $<TARGET_FILE:sondrax>
                                    $<TARGET_FILE:sondrax-check>)
  set_tests_properties(Package.deb Package.win32 Package.win64 Package.npm
                       PROPERTIES LABELS package SKIP_RETURN_CODE 77 TIMEOUT 900)
endif()

# The lint preset: every language of the repository (tools/lint.sh).
if(SONDRAX_LINT)
  enable_testing()
  foreach(linter clang-format clang-tidy shellcheck biome cmake-format)
    add_test(NAME Lint.${linter} COMMAND ${SONDRAX_TOOLS}/lint.sh ${linter}
             WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
    set_tests_properties(Lint.${linter} PROPERTIES LABELS lint SKIP_RETURN_CODE 77 TIMEOUT 900)
  endforeach()
endif()
