# The setup stub: a small Win32 GUI program with no C or C++ runtime start-up
# code of its own. It imports only system DLLs (msvcrt among them) and carries
# its own file length in its configuration block, written after linking.

file(GLOB_RECURSE QUORIN_STUB_ALL CONFIGURE_DEPENDS
  ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
list(FILTER QUORIN_STUB_ALL EXCLUDE REGEX "_(host|posix)\\.cpp$")
list(REMOVE_ITEM QUORIN_STUB_ALL ${QUORIN_SHARED_SOURCES})

set(QUORIN_STUB_CFLAGS
  -Os -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables -fno-unwind-tables
  -fno-stack-protector -fno-threadsafe-statics -fcheck-new -fno-ident
  -ffunction-sections -fdata-sections -fno-use-cxa-atexit
  # Whole-program optimisation saves about a tenth of the stub; fat objects
  # keep the library usable by the Win32 tests, which link without it.
  -flto -ffat-lto-objects
  ${QUORIN_WARNINGS} -Werror)

if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  set(QUORIN_ENTRY _StubEntry)
else()
  set(QUORIN_ENTRY StubEntry)
endif()

# Files that only the stub executable takes: the entry point and the C++
# runtime replacements. Win32-side tests link quorin_stub_lib with their own runtime.
set(QUORIN_STUB_EXE_ONLY
  ${CMAKE_CURRENT_SOURCE_DIR}/startup/entry.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/common/runtime_win32.cpp)
list(REMOVE_ITEM QUORIN_STUB_ALL ${QUORIN_STUB_EXE_ONLY})

add_library(quorin_stub_lib STATIC ${QUORIN_SHARED_SOURCES} ${QUORIN_STUB_ALL})
target_include_directories(quorin_stub_lib PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_definitions(quorin_stub_lib PUBLIC WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0400 WINVER=0x0400)
target_compile_options(quorin_stub_lib PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${QUORIN_STUB_CFLAGS}>)

add_executable(quorin-stub WIN32
  ${QUORIN_STUB_EXE_ONLY}
  ${CMAKE_CURRENT_SOURCE_DIR}/startup/stub.rc)
target_compile_options(quorin-stub PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${QUORIN_STUB_CFLAGS}>)
target_link_options(quorin-stub PRIVATE
  -nostdlib -nostartfiles -e ${QUORIN_ENTRY} -s -flto -Os
  -Wl,--gc-sections -Wl,--file-alignment=512 -Wl,--section-alignment=4096
  -Wl,--no-insert-timestamp -Wl,--disable-reloc-section
  -Wl,-Map=${CMAKE_CURRENT_BINARY_DIR}/quorin-stub.map)
target_link_libraries(quorin_stub_lib PUBLIC
  kernel32 user32 gdi32 comdlg32 advapi32 shell32 ole32 version)
# The system DLLs come with quorin_stub_lib; without the default libraries the
# C runtime DLL and the compiler's helper routines are named here.
target_link_libraries(quorin-stub PRIVATE quorin_stub_lib msvcrt gcc)

# Writes the file's own length into its configuration block.
add_custom_command(TARGET quorin-stub POST_BUILD
  COMMAND ${CMAKE_COMMAND} -DFILE=$<TARGET_FILE:quorin-stub> -DMARKER=777767542948 -DWHAT=stub
          -P ${CMAKE_CURRENT_SOURCE_DIR}/../cmake/stamp-own-length.cmake
  VERBATIM)
