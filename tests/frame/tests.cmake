tf_add_test(test_handles PUBLIC SOURCES frame/test_handles.cpp LABELS frame)
tf_add_test(test_threads PUBLIC SOURCES frame/test_threads.cpp LABELS threads)
tf_add_test(test_result_doc SOURCES frame/test_result_doc.cpp support/alloc_probe.cpp
  LABELS frame posix)
tf_add_test(test_text_lease SOURCES frame/test_text_lease.cpp LABELS threads)
tf_add_test(test_flat_json SOURCES frame/test_flat_json.cpp LABELS frame)
tf_add_test(test_kernel_table SOURCES frame/test_kernel_table.cpp LABELS frame)
add_executable(tf_dispatch_level frame/dispatch_level.cpp)
target_link_libraries(tf_dispatch_level PRIVATE tf_internal)
tf_set_warnings(tf_dispatch_level)
add_test(NAME dispatch_level COMMAND tf_dispatch_level)
set_tests_properties(dispatch_level PROPERTIES LABELS frame PASS_REGULAR_EXPRESSION "dispatch level: ")
# White-box (it holds the table lock by hand) and through the C boundary
# compiled in, so that both see the one library state.
tf_add_test(test_fork SOURCES frame/test_fork.cpp ${PROJECT_SOURCE_DIR}/src/c_api.cpp
  LABELS frame posix)
if(TARGET test_fork)
  target_compile_definitions(test_fork PRIVATE TF_VERSION_STRING="${PROJECT_VERSION}")
endif()
