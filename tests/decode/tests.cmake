tf_add_test(test_decode
  SOURCES decode/test_detect_encoding.cpp decode/test_decoders.cpp
          decode/test_line_endings.cpp
          decode/test_decode_sweep.cpp decode/test_decode_differential.cpp
          decode/test_utf16le_decoding.cpp
  LABELS decode)
tf_add_test(test_open PUBLIC SOURCES decode/test_open_file.cpp LABELS decode)
tf_add_test(test_decode_fast SOURCES decode/test_decode_fast.cpp LABELS decode)
tf_add_test(test_open_fast SOURCES decode/test_open_fast.cpp LABELS decode)
tf_add_test(test_open_decoded SOURCES decode/test_open_decoded.cpp LABELS decode)
# Allocation failures: the binary routes malloc, realloc and free through
# wrappers of its own that can fail a chosen call.
tf_add_test(test_decode_alloc SOURCES decode/test_decode_alloc_failure.cpp LABELS decode)
target_link_options(test_decode_alloc PRIVATE
  -Wl,--wrap=malloc -Wl,--wrap=realloc -Wl,--wrap=free)
