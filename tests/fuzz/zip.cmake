zephora_fuzz_target(fuzz_zip_container
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_zip_container.cpp LIBS zephora_zip)

# ISA-L's C code (block headers, Huffman tables) from Debian's source
# package, compiled again with the fuzzer's coverage hooks and the address
# sanitizer, so that the fuzzer sees into it; its assembly is as shipped.
set(isal_fuzzed ${CMAKE_CURRENT_BINARY_DIR}/isal/libisal-fuzzed.a)
add_custom_command(
  OUTPUT ${isal_fuzzed}
  COMMAND ${CMAKE_COMMAND} -E rm -rf isal
  COMMAND ${CMAKE_COMMAND} -E make_directory isal
  COMMAND sh -c "cd isal && apt-get source -qq libisal >build.log 2>&1 && cd libisal-*/ && make -s -f Makefile.unx units='igzip crc' CC=${CMAKE_C_COMPILER} 'CFLAGS_=-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all' bin/isa-l.a >>../build.log 2>&1 && cp bin/isa-l.a ${isal_fuzzed}"
  WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
  COMMENT "Building ISA-L with the fuzzer's instrumentation"
  VERBATIM)
add_custom_target(isal_fuzzed DEPENDS ${isal_fuzzed})

# Method 8 through ISA-L, checked against zlib; the seeds in corpus/deflate.
zephora_fuzz_target(fuzz_deflate_decoder
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_deflate_decoder.cpp
          ${PROJECT_SOURCE_DIR}/transfer/zip/deflate_decoder.cpp
  LIBS ${isal_fuzzed} ZLIB::ZLIB)
target_include_directories(fuzz_deflate_decoder PRIVATE ${ISAL_INCLUDE_DIR})
add_dependencies(fuzz_deflate_decoder isal_fuzzed)
