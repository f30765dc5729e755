# With mo_file.dict: header and plural-rule words.
zephora_fuzz_target(fuzz_mo_file SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_mo_file.cpp LIBS zephora_i18n)
