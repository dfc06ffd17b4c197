# minizip and minilzo, compiled from the Debian source packages that
# scripts/setup.sh unpacks into .cache/deps; zlib comes from libz-mingw-w64-dev.
set(KX_DEPS_DIR "${PROJECT_SOURCE_DIR}/.cache/deps" CACHE PATH "Unpacked third-party sources")

foreach(probe minizip/unzip.c minizip/ioapi.c minizip/iowin32.c lzo/minilzo/minilzo.c)
  if(NOT EXISTS "${KX_DEPS_DIR}/${probe}")
    message(FATAL_ERROR "${KX_DEPS_DIR}/${probe} is missing: run scripts/setup.sh first")
  endif()
endforeach()

# The static zlib: the setup program must not need zlib1.dll.
set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB REQUIRED)

# Third-party code keeps its own warnings out of our build log.
add_library(minizip STATIC
  ${KX_DEPS_DIR}/minizip/unzip.c
  ${KX_DEPS_DIR}/minizip/ioapi.c
  ${KX_DEPS_DIR}/minizip/iowin32.c)
target_include_directories(minizip SYSTEM PUBLIC ${KX_DEPS_DIR}/minizip)
# Compressed data is read in pieces of up to 32 KB.
target_compile_definitions(minizip PRIVATE NOCRYPT NOUNCRYPT UNZ_BUFSIZE=131072)
target_compile_options(minizip PRIVATE -w -fno-asynchronous-unwind-tables -fno-unwind-tables)
target_link_libraries(minizip PUBLIC ZLIB::ZLIB)

add_library(minilzo STATIC ${KX_DEPS_DIR}/lzo/minilzo/minilzo.c)
target_include_directories(minilzo SYSTEM PUBLIC
  ${KX_DEPS_DIR}/lzo/minilzo ${KX_DEPS_DIR}/lzo/include/lzo)
target_compile_options(minilzo PRIVATE -w -fno-asynchronous-unwind-tables -fno-unwind-tables)
