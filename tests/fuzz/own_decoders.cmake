# libFuzzer targets for the decoders we write ourselves (preset `fuzz`).
# The decoders are compiled again here with the fuzzer's coverage hooks.
# Run one at a time from build/fuzz, e.g. with a scratch copy of the seeds:
#   cp -r ../../tests/fuzz/corpus/implode work && \
#   ./fuzz_implode_decoder -max_total_time=600 -max_len=4096 work
# Each input starts with three bytes: general-purpose flags (for reduce also
# the factor - 1 in its low two bits) and the uncompressed size / 8 (LE).
get_target_property(zephora_own_decoder_sources zephora_own_decoders SOURCES)
add_library(zephora_own_decoders_fuzzed STATIC ${zephora_own_decoder_sources})
target_compile_options(zephora_own_decoders_fuzzed PRIVATE
  -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all)

foreach(fuzz_method IN ITEMS shrink:1 reduce:2 implode:6 deflate64:9 ppmd:98)
  string(REPLACE ":" ";" fuzz_pair ${fuzz_method})
  list(GET fuzz_pair 0 fuzz_name)
  list(GET fuzz_pair 1 fuzz_number)
  add_executable(fuzz_${fuzz_name}_decoder ${CMAKE_CURRENT_LIST_DIR}/fuzz_own_decoder.cpp)
  target_compile_definitions(fuzz_${fuzz_name}_decoder PRIVATE ZEPHORA_FUZZ_METHOD=${fuzz_number})
  target_compile_options(fuzz_${fuzz_name}_decoder PRIVATE
    -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all)
  target_link_options(fuzz_${fuzz_name}_decoder PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(fuzz_${fuzz_name}_decoder PRIVATE zephora_own_decoders_fuzzed)
endforeach()
