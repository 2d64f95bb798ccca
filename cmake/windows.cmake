# The launcher executable, cross-built with MinGW-w64. Static runtime so that the file runs
# on a bare Windows installation; stripped so that no symbol table follows the last section.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(LAUNCHER_BITS 64)
else()
  set(LAUNCHER_BITS 32)
endif()

add_executable(launcher ${LAUNCHER_ALL_SOURCES} ${CMAKE_SOURCE_DIR}/windows/launcher.rc)
# The message table that the service's event source names, compiled by windmc into a header
# (the message ids) and a resource script that launcher.rc includes.
string(REPLACE "windres" "windmc" EVENT_MESSAGE_COMPILER ${CMAKE_RC_COMPILER})
set(EVENT_MESSAGES_DIR ${CMAKE_BINARY_DIR}/event_messages)
set(EVENT_MESSAGES_OUTPUTS ${EVENT_MESSAGES_DIR}/event_messages.h ${EVENT_MESSAGES_DIR}/event_messages.rc
    ${EVENT_MESSAGES_DIR}/event_messages_MSG00409.bin)
add_custom_command(OUTPUT ${EVENT_MESSAGES_OUTPUTS}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${EVENT_MESSAGES_DIR}
  COMMAND ${EVENT_MESSAGE_COMPILER} -b -r ${EVENT_MESSAGES_DIR} -h ${EVENT_MESSAGES_DIR}
          ${CMAKE_SOURCE_DIR}/windows/service/event_messages.mc
  DEPENDS ${CMAKE_SOURCE_DIR}/windows/service/event_messages.mc
  COMMENT "Message table of the event source")
add_custom_target(event_messages DEPENDS ${EVENT_MESSAGES_OUTPUTS})
add_dependencies(launcher event_messages)
target_include_directories(launcher PRIVATE ${EVENT_MESSAGES_DIR})
set_source_files_properties(${CMAKE_SOURCE_DIR}/windows/launcher.rc PROPERTIES OBJECT_DEPENDS
  "${EVENT_MESSAGES_OUTPUTS}" COMPILE_DEFINITIONS
  "RAVEL_PROJECT_VERSION_NUMBERS=${RAVEL_PROJECT_VERSION_NUMBERS};RAVEL_PROJECT_VERSION_BARE=${RAVEL_PROJECT_VERSION}")
set_target_properties(launcher PROPERTIES OUTPUT_NAME "launcher${LAUNCHER_BITS}")
target_include_directories(launcher PRIVATE ${CMAKE_SOURCE_DIR}/windows ${CMAKE_SOURCE_DIR}/windows/jni ${JDK_INCLUDE_DIR})
target_compile_definitions(launcher PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
  _WIN32_WINNT=0x0601 LAUNCHER_BITS=${LAUNCHER_BITS})
# The image is mapped at every start, so it carries only what the launcher runs (the link
# map, launcher32.map / launcher64.map in the build directory, shows what it is made of):
# - no exceptions and no run-time type information: the launcher uses neither, and
#   windows/core/cxx_runtime_win.cpp keeps the C++ library's exception machinery out;
# - function-local statics without the thread-safe guard, whose library code brings a
#   thread library along: every such static of the launcher is first reached on the main
#   thread before any other thread starts;
# - each function in a section of its own, and the linker drops those never referenced.
#   (Not the data: -fdata-sections moves MinGW's zero-filled buffers from .bss into .data,
#   that is into the file.)
# - C++20 for the launcher alone: up to C++17 the library declares std::string and
#   std::wstring as instantiated inside itself, so every string member comes from its
#   archive, a whole object file each, used or not; from C++20 on the compiler instantiates
#   only the members the launcher calls.
target_compile_options(launcher PRIVATE -Wall -Wextra -Os -fno-exceptions -fno-rtti -fno-threadsafe-statics
  -ffunction-sections)
set_target_properties(launcher PROPERTIES CXX_STANDARD 20)
target_link_options(launcher PRIVATE -static -s -mconsole -Wl,--gc-sections
  -Wl,-Map=${CMAKE_BINARY_DIR}/launcher${LAUNCHER_BITS}.map)
# A library piece the launcher is built without fails the build, naming the reference that
# brought it in, instead of growing the image unnoticed.
add_custom_command(TARGET launcher POST_BUILD
  COMMAND sh ${CMAKE_SOURCE_DIR}/cmake/check_image.sh ${CMAKE_BINARY_DIR}/launcher${LAUNCHER_BITS}.map
  VERBATIM)
# user32.dll is delay-loaded: most runs (and the service supervisor, and every
# administration command) never show a window, and loading user32 makes a process a GUI
# process and costs tens of milliseconds under Wine. It is loaded on the first call of one
# of its functions: a message box, raising another instance's windows, the window border.
find_library(USER32_IMPORT_LIBRARY NAMES user32 REQUIRED)
set(USER32_DELAY_LIBRARY ${CMAKE_BINARY_DIR}/libuser32_delay.a)
add_custom_command(OUTPUT ${USER32_DELAY_LIBRARY}
  COMMAND sh ${CMAKE_SOURCE_DIR}/cmake/delay_import.sh ${CMAKE_NM} ${CMAKE_DLLTOOL}
          ${USER32_IMPORT_LIBRARY} USER32.dll ${USER32_DELAY_LIBRARY}
  DEPENDS ${CMAKE_SOURCE_DIR}/cmake/delay_import.sh ${USER32_IMPORT_LIBRARY}
  COMMENT "Delay-load import library for USER32.dll")
add_custom_target(user32_delay DEPENDS ${USER32_DELAY_LIBRARY})
# user32 functions are declared without dllimport (WINUSERAPI empty), so that calls go
# through the library's thunks. With dllimport, code only refers to the import slots, and
# the 32-bit GNU linker then drops the thunks as unused jump stubs, although the slots'
# initial values point into them: every slot would stay 0 and the first call would crash.
set(USER32_DELAY_DEFINITIONS WINUSERAPI=)
add_dependencies(launcher user32_delay)
target_compile_definitions(launcher PRIVATE ${USER32_DELAY_DEFINITIONS})
target_link_libraries(launcher PRIVATE advapi32 shell32 ${USER32_DELAY_LIBRARY} gdi32)
# The export table names exactly the window-border JNI functions (decorated on 32-bit).
set(LAUNCHER_EXPORTS_DEF ${CMAKE_SOURCE_DIR}/windows/nativeborder/exports${LAUNCHER_BITS}.def)
target_link_options(launcher PRIVATE ${LAUNCHER_EXPORTS_DEF})
set_target_properties(launcher PROPERTIES LINK_DEPENDS ${LAUNCHER_EXPORTS_DEF})

# Test equipment for the Wine tests; never shipped with the launcher.
add_executable(envrun ${CMAKE_SOURCE_DIR}/testtools/envrun/envrun.cpp)
target_compile_options(envrun PRIVATE -municode -Wall)
target_link_options(envrun PRIVATE -static -municode)
add_executable(sleeper ${CMAKE_SOURCE_DIR}/testtools/sleeper/sleeper.cpp)
target_link_options(sleeper PRIVATE -static)
# Holds an inheritable handle while it runs a command line, to show which descendants got it.
add_executable(heldhandle ${CMAKE_SOURCE_DIR}/testtools/heldhandle/heldhandle.cpp)
target_compile_options(heldhandle PRIVATE -municode -Wall)
target_link_options(heldhandle PRIVATE -static -municode)
# Runs a command line and prints its wall time and peak memory, for the benchmarks.
add_executable(measure ${CMAKE_SOURCE_DIR}/testtools/measure/measure.cpp)
target_compile_options(measure PRIVATE -municode -Wall -Wextra)
target_link_options(measure PRIVATE -static -municode)
# Calls user32.dll functions through the launcher's delay-load library.
add_executable(delaycheck ${CMAKE_SOURCE_DIR}/testtools/delaycheck/delaycheck.cpp)
target_link_options(delaycheck PRIVATE -static)
add_dependencies(delaycheck user32_delay)
target_compile_definitions(delaycheck PRIVATE ${USER32_DELAY_DEFINITIONS})
target_link_libraries(delaycheck PRIVATE ${USER32_DELAY_LIBRARY})
# Starts a service and stops it at chosen moments of its start, for the supervisor's race tests.
add_executable(servicerace ${CMAKE_SOURCE_DIR}/testtools/servicerace/servicerace.cpp)
target_compile_options(servicerace PRIVATE -municode -Wall -Wextra)
target_link_options(servicerace PRIVATE -static -municode)
target_link_libraries(servicerace PRIVATE advapi32)
add_executable(instance_peer ${CMAKE_SOURCE_DIR}/testtools/instance_peer/instance_peer.cpp)
target_link_options(instance_peer PRIVATE -static)
target_link_libraries(instance_peer PRIVATE advapi32 user32)
# Reads a packed launcher's version information and icon as Explorer does.
add_executable(shipcheck ${CMAKE_SOURCE_DIR}/testtools/shipcheck/shipcheck.cpp)
target_compile_options(shipcheck PRIVATE -municode -Wall -Wextra)
target_compile_definitions(shipcheck PRIVATE UNICODE _UNICODE)
target_link_options(shipcheck PRIVATE -static -municode)
target_link_libraries(shipcheck PRIVATE version shell32 user32 gdi32)
# Drives the window-border functions on real windows with a fake JNI environment.
file(GLOB BORDERTEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/testtools/bordertest/*.cpp
  ${CMAKE_SOURCE_DIR}/windows/nativeborder/*.cpp)
add_executable(bordertest ${BORDERTEST_SOURCES} ${CMAKE_SOURCE_DIR}/windows/core/text_format.cpp
  ${CMAKE_SOURCE_DIR}/windows/core/registry_win.cpp ${CMAKE_SOURCE_DIR}/windows/core/registry_rules.cpp
  ${CMAKE_SOURCE_DIR}/windows/core/code_page_win.cpp)
target_include_directories(bordertest PRIVATE ${CMAKE_SOURCE_DIR}/windows ${CMAKE_SOURCE_DIR}/windows/jni ${JDK_INCLUDE_DIR})
target_compile_definitions(bordertest PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
target_compile_options(bordertest PRIVATE -municode -Wall -Wextra)
target_link_options(bordertest PRIVATE -static -municode)
target_link_libraries(bordertest PRIVATE advapi32 shell32 user32 gdi32)

# Stand-in Java runtime for the Wine tests (test equipment, never shipped).
add_subdirectory(${CMAKE_SOURCE_DIR}/testruntime ${CMAKE_BINARY_DIR}/testruntime)

# The packer as a Windows program too (64-bit only): the same sources as the native packer.
# toml++ is header-only; its headers are copied into the build tree so that the cross
# compiler sees them without the build machine's whole /usr/include.
if(LAUNCHER_BITS EQUAL 64)
  file(COPY /usr/include/toml++ DESTINATION ${CMAKE_BINARY_DIR}/packer_include)
  file(GLOB WIN_PACKER_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/packer/*.cpp)
  include(${CMAKE_SOURCE_DIR}/cmake/reference_examples.cmake)
  list(APPEND WIN_PACKER_SOURCES ${REFERENCE_EXAMPLES_SOURCE})
  add_executable(packer_win ${WIN_PACKER_SOURCES} ${CMAKE_SOURCE_DIR}/windows/jvmsearch/java_version.cpp
                            ${CMAKE_SOURCE_DIR}/windows/core/utf8.cpp
                            ${CMAKE_SOURCE_DIR}/windows/service/service_commands_rules.cpp
                            ${CMAKE_SOURCE_DIR}/windows/core/text_helpers.cpp
                            ${CMAKE_SOURCE_DIR}/windows/config/included_file_name.cpp)
  set_target_properties(packer_win PROPERTIES OUTPUT_NAME "packer")
  target_include_directories(packer_win PRIVATE ${CMAKE_SOURCE_DIR}/windows ${CMAKE_SOURCE_DIR}/tools/packer
                             ${CMAKE_BINARY_DIR}/packer_include)
  target_compile_options(packer_win PRIVATE -O2 -Wall -Wextra -fno-exceptions)
  target_link_options(packer_win PRIVATE -static -s)
endif()
