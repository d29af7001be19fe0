if(GENSHOKU_SANITIZE)
  set(GENSHOKU_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_compile_options(${GENSHOKU_SANITIZER_FLAGS})
  add_link_options(${GENSHOKU_SANITIZER_FLAGS})
endif()

if(GENSHOKU_BUILD_FUZZ AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  # Coverage instrumentation for every library; the fuzz targets add the fuzzer's main.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
