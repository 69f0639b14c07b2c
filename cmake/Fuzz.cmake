# The fuzz targets: the portable core built once with clang's coverage instrumentation,
# AddressSanitizer and UndefinedBehaviorSanitizer, and one libFuzzer binary per target.
# scripts/fuzz.sh configures this tree (build/fuzz) and runs the binaries.
set(FUZZ_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)

find_package(ZLIB REQUIRED)

add_library(stubfuzzcore STATIC ${STUB_PORTABLE_SOURCES} ${CMAKE_SOURCE_DIR}/tools/common/HostPlatform.cpp
            ${CMAKE_SOURCE_DIR}/tests/fuzz/FuzzTargets.cpp)
target_include_directories(stubfuzzcore PUBLIC ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests/fuzz)
target_compile_options(stubfuzzcore PUBLIC ${FUZZ_FLAGS} -fsanitize=fuzzer-no-link)
target_link_libraries(stubfuzzcore PUBLIC ZLIB::ZLIB)

# One target per folder of seeds; FuzzTargets() names the same ones (a native test checks).
file(GLOB FUZZ_CORPUS_DIRS LIST_DIRECTORIES true ${CMAKE_SOURCE_DIR}/tests/fuzz/corpus/*)
foreach(dir ${FUZZ_CORPUS_DIRS})
  get_filename_component(name ${dir} NAME)
  add_executable(fuzz_${name} ${CMAKE_SOURCE_DIR}/tests/fuzz/FuzzMain.cpp)
  target_compile_definitions(fuzz_${name} PRIVATE STUB_FUZZ_TARGET="${name}")
  target_link_libraries(fuzz_${name} PRIVATE stubfuzzcore)
  target_link_options(fuzz_${name} PRIVATE ${FUZZ_FLAGS} -fsanitize=fuzzer)
endforeach()

# Writes the seeds (tests/fuzz/corpus) with the package writer: scripts/fuzz.sh --seeds.
add_executable(fuzz_seeds ${CMAKE_SOURCE_DIR}/tests/fuzz/MakeSeeds.cpp ${CMAKE_SOURCE_DIR}/tools/common/PackageWriter.cpp)
target_include_directories(fuzz_seeds PRIVATE ${CMAKE_SOURCE_DIR}/tools/common)
target_link_libraries(fuzz_seeds PRIVATE stubfuzzcore)
target_link_options(fuzz_seeds PRIVATE ${FUZZ_FLAGS})
