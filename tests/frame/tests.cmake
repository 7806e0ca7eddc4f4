tf_add_test(test_handles PUBLIC SOURCES frame/test_handles.cpp LABELS frame)
tf_add_test(test_threads PUBLIC SOURCES frame/test_threads.cpp LABELS threads)
tf_add_test(test_result_doc SOURCES frame/test_result_doc.cpp support/alloc_probe.cpp
  LABELS frame posix)
tf_add_test(test_text_lease SOURCES frame/test_text_lease.cpp LABELS threads)
tf_add_test(test_flat_json SOURCES frame/test_flat_json.cpp LABELS frame)
