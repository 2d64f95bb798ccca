# Native (Linux) build: the portable decision logic under sanitizers, its unit tests and
# fuzz targets, and the packer tool that writes configured launchers.
set(SANITIZE_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer -g)

add_library(launcher_portable STATIC ${LAUNCHER_PORTABLE_SOURCES})
target_include_directories(launcher_portable PUBLIC ${CMAKE_SOURCE_DIR}/windows ${JDK_INCLUDE_DIR} ${JDK_INCLUDE_DIR}/linux)
target_compile_options(launcher_portable PUBLIC ${SANITIZE_FLAGS} -Wall -Wextra)
target_link_options(launcher_portable PUBLIC ${SANITIZE_FLAGS})

# GoogleTest from the distribution's sources, built with the same sanitizers.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
target_compile_options(gtest PRIVATE ${SANITIZE_FLAGS})
target_compile_options(gtest_main PRIVATE ${SANITIZE_FLAGS})

# The packer's logic (everything but its main and its silent log) is unit-tested in the same
# binary. It shares the launcher's version parser and its reading of a service account.
file(GLOB PACKER_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/packer/*.cpp)
include(${CMAKE_SOURCE_DIR}/cmake/reference_examples.cmake)
list(APPEND PACKER_SOURCES ${REFERENCE_EXAMPLES_SOURCE})
set(PACKER_LOGIC_SOURCES ${PACKER_SOURCES})
list(FILTER PACKER_LOGIC_SOURCES EXCLUDE REGEX "/(main|quiet_log)\\.cpp$")
list(APPEND PACKER_SOURCES ${CMAKE_SOURCE_DIR}/windows/jvmsearch/java_version.cpp ${CMAKE_SOURCE_DIR}/windows/core/utf8.cpp
     ${CMAKE_SOURCE_DIR}/windows/service/service_commands_rules.cpp ${CMAKE_SOURCE_DIR}/windows/core/text_helpers.cpp
     ${CMAKE_SOURCE_DIR}/windows/config/included_file_name.cpp)

file(GLOB_RECURSE UNIT_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*.cpp)
add_executable(unit_tests ${UNIT_TEST_SOURCES} ${PACKER_LOGIC_SOURCES})
target_include_directories(unit_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/unit ${CMAKE_SOURCE_DIR}/tools/packer)
target_link_libraries(unit_tests PRIVATE launcher_portable gtest gtest_main)
# The packer tests compare docs/configuration.md with the generated reference.
target_compile_definitions(unit_tests PRIVATE PACKER_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
enable_testing()
add_test(NAME unit_tests COMMAND unit_tests)

# libFuzzer targets: one per file in tests/fuzz, each linked with the test support code
# (the capturing log) and the code under test: the portable logic and the packer's logic,
# compiled once more with coverage instrumentation (fuzzer-no-link) so that libFuzzer sees
# which branches of the parsers an input reaches, not only those of the harness.
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  file(GLOB FUZZ_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/*_fuzz.cpp)
  file(GLOB SUPPORT_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/support/*.cpp)
  add_library(fuzz_subject STATIC ${LAUNCHER_PORTABLE_SOURCES} ${PACKER_LOGIC_SOURCES})
  target_include_directories(fuzz_subject PUBLIC ${CMAKE_SOURCE_DIR}/windows ${CMAKE_SOURCE_DIR}/tools/packer
                             ${JDK_INCLUDE_DIR} ${JDK_INCLUDE_DIR}/linux)
  target_compile_options(fuzz_subject PUBLIC ${SANITIZE_FLAGS} PRIVATE -fsanitize=fuzzer-no-link -Wall -Wextra)
  target_link_options(fuzz_subject PUBLIC ${SANITIZE_FLAGS})
  foreach(src ${FUZZ_SOURCES})
    get_filename_component(name ${src} NAME_WE)
    add_executable(${name} ${src} ${SUPPORT_SOURCES})
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/unit)
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${name} PRIVATE fuzz_subject)
  endforeach()
endif()

# The packer is a user tool: built without sanitizers, optimised.
add_executable(packer ${PACKER_SOURCES})
target_include_directories(packer PRIVATE ${CMAKE_SOURCE_DIR}/windows ${CMAKE_SOURCE_DIR}/tools/packer)
target_compile_options(packer PRIVATE -O2 -Wall -Wextra -fno-exceptions)

# The Java-side runtime: its classes compiled for Java 8 into the two jars (one per module
# name the launcher's module mode adds). `make build` copies them to dist/.
get_filename_component(JDK_HOME ${JDK_INCLUDE_DIR} DIRECTORY)
file(GLOB_RECURSE RUNTIME_JAVA_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/java/src/*.java
     ${CMAKE_SOURCE_DIR}/java/modules/*.java)
set(RUNTIME_JARS ${CMAKE_BINARY_DIR}/java/ravel-runtime.jar ${CMAKE_BINARY_DIR}/java/qwkruntime.jar)
add_custom_command(OUTPUT ${RUNTIME_JARS}
  COMMAND ${CMAKE_COMMAND} -E env RAVEL_JDK=${JDK_HOME} bash ${CMAKE_SOURCE_DIR}/java/build.sh ${CMAKE_BINARY_DIR}/java
  DEPENDS ${RUNTIME_JAVA_SOURCES} ${CMAKE_SOURCE_DIR}/java/build.sh
  COMMENT "Building the Java-side runtime jars")
add_custom_target(runtime_jars ALL DEPENDS ${RUNTIME_JARS})

# The launcher's JNI code hosted by the build machine's real JVM (tests/java drives it).
# Built without sanitizers: the JVM's own signal use and memory layout do not mix with them.
find_library(REAL_JVM_LIBRARY jvm PATHS ${JDK_HOME}/lib/server NO_DEFAULT_PATH)
if(REAL_JVM_LIBRARY)
  add_library(launcher_portable_plain STATIC EXCLUDE_FROM_ALL ${LAUNCHER_PORTABLE_SOURCES})
  target_include_directories(launcher_portable_plain PUBLIC ${CMAKE_SOURCE_DIR}/windows ${JDK_INCLUDE_DIR}
                             ${JDK_INCLUDE_DIR}/linux)
  target_compile_options(launcher_portable_plain PRIVATE -Wall -Wextra -g)
  add_executable(real_jvm_host ${CMAKE_SOURCE_DIR}/tests/realjvm/real_jvm_host.cpp
                 ${CMAKE_SOURCE_DIR}/tests/unit/support/log_capture.cpp)
  target_include_directories(real_jvm_host PRIVATE ${CMAKE_SOURCE_DIR}/tests/unit)
  target_compile_options(real_jvm_host PRIVATE -Wall -Wextra -g)
  target_link_libraries(real_jvm_host PRIVATE launcher_portable_plain ${REAL_JVM_LIBRARY} pthread)
  set_target_properties(real_jvm_host PROPERTIES BUILD_RPATH ${JDK_HOME}/lib/server)
endif()
