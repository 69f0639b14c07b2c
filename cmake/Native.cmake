# Host build: the portable core, the tools that vendors and tests run on Linux, and the unit
# tests under AddressSanitizer and UndefinedBehaviorSanitizer.
enable_testing()
set(SAN_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)

find_package(ZLIB REQUIRED)

# The host's answers to the core's few platform calls (files, the system language).
set(STUB_HOST_SOURCES ${CMAKE_SOURCE_DIR}/tools/common/HostPlatform.cpp)

add_library(stubcore STATIC ${STUB_PORTABLE_SOURCES} ${STUB_HOST_SOURCES})
target_include_directories(stubcore PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_compile_options(stubcore PRIVATE ${SAN_FLAGS})
target_link_options(stubcore INTERFACE ${SAN_FLAGS})

# The same core without sanitizers, for the tools shipped in dist/.
add_library(stubcore_plain STATIC ${STUB_PORTABLE_SOURCES} ${STUB_HOST_SOURCES})
target_include_directories(stubcore_plain PUBLIC ${CMAKE_SOURCE_DIR}/src)

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(${STUB_GTEST_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
target_compile_options(gtest PRIVATE ${SAN_FLAGS})
target_compile_options(gtest_main PRIVATE ${SAN_FLAGS})

add_subdirectory(tools)

file(GLOB NATIVE_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/native/*.cpp)
# The fuzz targets too: the tests replay their seeds and damaged packages through them.
add_executable(native_tests ${NATIVE_TEST_SOURCES} ${CMAKE_SOURCE_DIR}/tests/fuzz/FuzzTargets.cpp)
target_include_directories(native_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/fuzz)
target_compile_options(native_tests PRIVATE ${SAN_FLAGS})
target_compile_definitions(native_tests PRIVATE STUB_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
target_link_libraries(native_tests PRIVATE stubtestkit stubcore pefixlib gtest gtest_main ZLIB::ZLIB)
include(GoogleTest)
gtest_discover_tests(native_tests DISCOVERY_TIMEOUT 60)
