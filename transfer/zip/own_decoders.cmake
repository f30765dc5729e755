# Sources of the decoders we write ourselves (own_decoders.h).
set(ZEPHORA_OWN_DECODER_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/lz_support.cpp
  ${CMAKE_CURRENT_LIST_DIR}/shrink_decoder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/reduce_decoder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/implode_decoder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/deflate64_decoder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ppmd_decoder.cpp
)
