tf_add_test(test_save_encoder SOURCES save/test_encode_utf16le.cpp LABELS save)
tf_add_test(test_save_internal SOURCES save/test_atomic_replace.cpp LABELS save)
tf_add_test(test_save PUBLIC
  SOURCES save/test_save_output.cpp save/test_save_failures.cpp save/test_save_files.cpp
  LABELS save)
tf_add_test(test_save_threads PUBLIC SOURCES save/test_save_threads.cpp save/test_save_names.cpp
  LABELS threads save)
tf_add_test(test_save_encoder_fast SOURCES save/test_encode_fast.cpp LABELS save)
