zephora_fuzz_target(fuzz_zip_container
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_zip_container.cpp LIBS zephora_zip)
