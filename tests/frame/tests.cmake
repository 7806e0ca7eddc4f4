tf_add_test(test_handles PUBLIC SOURCES frame/test_handles.cpp LABELS frame)
tf_add_test(test_threads PUBLIC SOURCES frame/test_threads.cpp LABELS threads)
tf_add_test(test_result_doc SOURCES frame/test_result_doc.cpp support/alloc_probe.cpp LABELS frame)
