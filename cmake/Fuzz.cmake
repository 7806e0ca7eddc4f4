# TF_BUILD_FUZZ: everything is compiled with coverage for libFuzzer and with
# AddressSanitizer and UndefinedBehaviorSanitizer; the fuzz targets link the
# libFuzzer driver. Clang only.
if(TF_BUILD_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "TF_BUILD_FUZZ needs clang (CC=clang CXX=clang++)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=all -g)
  add_link_options(-fsanitize=address,undefined)
endif()
