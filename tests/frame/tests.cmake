tf_add_test(test_handles PUBLIC SOURCES frame/test_handles.cpp LABELS frame)
tf_add_test(test_threads PUBLIC SOURCES frame/test_threads.cpp LABELS threads)
