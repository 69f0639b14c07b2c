# Windows build: stub.exe, the Windows tools and the Windows unit tests.
# Static everything, ANSI API, no console for the stub.
add_compile_definitions(WINVER=0x0501 _WIN32_WINNT=0x0501 _WIN32_IE=0x0500 STRICT)
remove_definitions(-DUNICODE -D_UNICODE)
set(CMAKE_EXE_LINKER_FLAGS "${CMAKE_EXE_LINKER_FLAGS} -static -static-libgcc -static-libstdc++")

# The system's zlib for what compresses (stubpack.exe); the stub and everything that reads
# packages inflate with zlib's own sources in third_party/zlib (the same 1.2.13), built for
# the stub: zlib streams only (no gzip, so no crc32 tables), the decoding loop and the
# checksum for speed, the rest for size. Half the room of the prebuilt library.
find_library(MINGW_ZLIB NAMES libz.a z REQUIRED)
set(STUB_ZLIB_DIR ${CMAKE_SOURCE_DIR}/third_party/zlib)
add_library(stubinflate STATIC ${STUB_ZLIB_DIR}/inflate.c ${STUB_ZLIB_DIR}/inffast.c ${STUB_ZLIB_DIR}/inftrees.c
  ${STUB_ZLIB_DIR}/adler32.c ${STUB_ZLIB_DIR}/zutil.c)
target_include_directories(stubinflate PUBLIC ${STUB_ZLIB_DIR})
target_compile_definitions(stubinflate PRIVATE NO_GZIP)
target_compile_options(stubinflate PRIVATE -Os -ffunction-sections -fdata-sections)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  target_compile_options(stubinflate PRIVATE -fno-asynchronous-unwind-tables -fno-unwind-tables)
endif()
set_source_files_properties(${STUB_ZLIB_DIR}/inffast.c ${STUB_ZLIB_DIR}/adler32.c TARGET_DIRECTORY stubinflate
  PROPERTIES COMPILE_OPTIONS "-O2")

set(STUB_WIN_LIBS user32 gdi32 comctl32 advapi32 shell32 stubinflate)

add_library(stubwin STATIC ${STUB_PORTABLE_SOURCES} ${STUB_WIN_SOURCES})
target_include_directories(stubwin PUBLIC ${CMAKE_SOURCE_DIR}/src)
# The stub's code is built for size and without exceptions: unwind tables, landing pads and
# libstdc++'s exception support were more than half of stub.exe. Nothing asks for run-time
# type information, the type records of every class with virtual functions. Without
# threadsafe statics no lock library comes along: the stub's function-local statics must be
# first reached on the window thread. The x86-64 twin keeps its unwind tables, which Windows
# itself walks on that platform.
set(STUB_SIZE_FLAGS -Oz -ffunction-sections -fdata-sections -fno-exceptions -fno-rtti -fno-threadsafe-statics)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  list(APPEND STUB_SIZE_FLAGS -fno-asynchronous-unwind-tables -fno-unwind-tables)
endif()
target_compile_options(stubwin PRIVATE ${STUB_SIZE_FLAGS})
# The functions that raise EZLibError, for the Windows tools (the stub never links them).
set_source_files_properties(${CMAKE_SOURCE_DIR}/src/package/ZLibError.cpp TARGET_DIRECTORY stubwin
  PROPERTIES COMPILE_OPTIONS "-fexceptions")
target_link_libraries(stubwin PUBLIC ${STUB_WIN_LIBS})

add_executable(stub WIN32 ${CMAKE_SOURCE_DIR}/src/stub/StubMain.cpp ${CMAKE_SOURCE_DIR}/src/stub/StubRuntime.cpp
  ${CMAKE_SOURCE_DIR}/res/stub.rc)
target_compile_options(stub PRIVATE ${STUB_SIZE_FLAGS})
target_link_libraries(stub PRIVATE stubwin)
target_link_options(stub PRIVATE -s -Wl,--gc-sections -mwindows)

# Nothing in the i686 stub reads unwind tables: it has no exceptions and no unwinder, and
# crtbegin registers its tables only with an unwinder that is there. zlib's and the C
# runtime's objects still bring theirs; the stub is linked with ld's own script, in which
# only the rule for them is changed to drop them.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  execute_process(COMMAND ${CMAKE_LINKER} --verbose OUTPUT_VARIABLE ld_verbose)
  string(REPEAT "=" 50 ld_rule)
  string(FIND "${ld_verbose}" "${ld_rule}\n" script_start)
  string(FIND "${ld_verbose}" "\n${ld_rule}" script_end REVERSE)
  math(EXPR script_start "${script_start} + 51")
  math(EXPR script_length "${script_end} + 1 - ${script_start}")
  string(SUBSTRING "${ld_verbose}" ${script_start} ${script_length} ld_script)
  set(keep_rule "  .eh_frame BLOCK(__section_alignment__) :\n  {\n    KEEP(*(.eh_frame*))\n  }\n")
  string(REPLACE "${keep_rule}" "  /DISCARD/ :\n  {\n    *(.eh_frame*)\n  }\n" stub_script "${ld_script}")
  if(stub_script STREQUAL ld_script)
    message(WARNING "ld's script has no .eh_frame rule of the known form: stub.exe keeps the tables")
  else()
    file(WRITE ${CMAKE_BINARY_DIR}/stub.ld "${stub_script}")
    target_link_options(stub PRIVATE -Wl,-T,${CMAKE_BINARY_DIR}/stub.ld)
    set_property(TARGET stub APPEND PROPERTY LINK_DEPENDS ${CMAKE_BINARY_DIR}/stub.ld)
  endif()
endif()

# The package reader wants "PE" at offset 256, with bytes 248..255 free for the logical
# length: move the headers there after linking (a host tool of ours, built on the fly).
include(ExternalProject)
ExternalProject_Add(pefix_host
  SOURCE_DIR ${CMAKE_SOURCE_DIR}/tools/pefix
  BINARY_DIR ${CMAKE_BINARY_DIR}/pefix_host
  CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=
  CMAKE_CACHE_ARGS -DCMAKE_CXX_COMPILER:STRING=g++ -DCMAKE_C_COMPILER:STRING=gcc
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON)
add_dependencies(stub pefix_host)
add_custom_command(TARGET stub POST_BUILD
  COMMAND ${CMAKE_BINARY_DIR}/pefix_host/pefix $<TARGET_FILE:stub>
  COMMENT "Moving the PE headers of stub.exe to offset 256")

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
add_subdirectory(${STUB_GTEST_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

add_subdirectory(tools)

file(GLOB WIN_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/win/*.cpp)
add_executable(win_tests ${WIN_TEST_SOURCES})
target_link_libraries(win_tests PRIVATE stubwin gtest gtest_main)
