# With package_signature.dict: the lines and fields of the signing tool's files.
zephora_fuzz_target(fuzz_package_signature
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_package_signature.cpp LIBS zephora_verify)
