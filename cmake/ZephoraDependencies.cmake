# The codec libraries: Debian's packages natively; for MinGW, Debian's zlib
# and the static builds that scripts/bootstrap leaves in build/mingw-deps.
# zlib makes the tests' deflate data and checks ISA-L's results.
if(WIN32)
  # Debian's MinGW zlib package also has a DLL.
  set(ZLIB_USE_STATIC_LIBS ON)
endif()
find_package(ZLIB REQUIRED)
find_path(ISAL_INCLUDE_DIR isa-l/igzip_lib.h REQUIRED)
find_library(ISAL_LIBRARY NAMES isal REQUIRED)
add_library(ISAL::ISAL UNKNOWN IMPORTED)
set_target_properties(ISAL::ISAL PROPERTIES IMPORTED_LOCATION ${ISAL_LIBRARY}
                      INTERFACE_INCLUDE_DIRECTORIES ${ISAL_INCLUDE_DIR})
find_package(BZip2 REQUIRED)
find_package(LibLZMA REQUIRED)
find_path(WAVPACK_INCLUDE_DIR wavpack/wavpack.h REQUIRED)
find_library(WAVPACK_LIBRARY NAMES wavpack REQUIRED)
add_library(WavPack::WavPack UNKNOWN IMPORTED)
set_target_properties(WavPack::WavPack PROPERTIES IMPORTED_LOCATION ${WAVPACK_LIBRARY}
                      INTERFACE_INCLUDE_DIRECTORIES ${WAVPACK_INCLUDE_DIR})

if(NOT ZEPHORA_FUZZ)
  # GoogleTest from Debian's sources, built with our compiler.
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
endif()

# libsodium checks the vendor's package signatures: Debian's natively, the
# static build of scripts/bootstrap for MinGW.
find_path(SODIUM_INCLUDE_DIR sodium.h REQUIRED)
find_library(SODIUM_LIBRARY NAMES sodium REQUIRED)
add_library(Sodium::Sodium UNKNOWN IMPORTED)
set_target_properties(Sodium::Sodium PROPERTIES IMPORTED_LOCATION ${SODIUM_LIBRARY}
                      INTERFACE_INCLUDE_DIRECTORIES ${SODIUM_INCLUDE_DIR})
if(WIN32)
  set_target_properties(Sodium::Sodium PROPERTIES INTERFACE_COMPILE_DEFINITIONS SODIUM_STATIC
                        INTERFACE_LINK_LIBRARIES advapi32)
endif()
