zephora_fuzz_target(fuzz_zip_container
  SOURCES ${PROJECT_SOURCE_DIR}/tests/transfer/zip/fuzz_container.cpp LIBS zephora_zip)
