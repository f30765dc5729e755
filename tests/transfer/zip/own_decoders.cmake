# Tests of the decoders we write ourselves.
set(ZEPHORA_FRESH_ZIP_DIR ${CMAKE_CURRENT_BINARY_DIR}/fresh-archives)
add_custom_command(
  OUTPUT ${ZEPHORA_FRESH_ZIP_DIR}/stamp
  COMMAND python3 ${CMAKE_CURRENT_LIST_DIR}/make_fresh_archives.py ${ZEPHORA_FRESH_ZIP_DIR}
  COMMAND ${CMAKE_COMMAND} -E touch ${ZEPHORA_FRESH_ZIP_DIR}/stamp
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/make_fresh_archives.py
  COMMENT "Making Deflate64 and PPMd archives with 7z")
add_custom_target(zephora_fresh_zip_archives DEPENDS ${ZEPHORA_FRESH_ZIP_DIR}/stamp)

zephora_test(own_decoders_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/own_decoders_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/zip_member_reader.cpp
          ${CMAKE_CURRENT_LIST_DIR}/decoder_harness.cpp
  LIBS zephora_zip zephora_test_support GTest::gtest_main)
add_dependencies(own_decoders_test zephora_fresh_zip_archives)
target_compile_definitions(own_decoders_test PRIVATE
  ZEPHORA_ZIP_METHODS_DIR="${ZEPHORA_TESTDATA_DIR}/zip-methods"
  ZEPHORA_FRESH_ZIP_DIR="${ZEPHORA_FRESH_ZIP_DIR}")
