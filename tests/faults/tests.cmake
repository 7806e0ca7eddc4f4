# Allocation failure injection. The injector replaces the process's
# allocator, so it gets a binary of its own; ThreadSanitizer builds leave it
# out (the thread tests are all that preset runs).
if(NOT TF_SANITIZE MATCHES "thread")
  tf_add_test(test_alloc_failures PUBLIC
    SOURCES faults/alloc_injector.cpp faults/alloc_sweep.cpp faults/json_minus.cpp
            faults/library_symbols.cpp faults/test_alloc_failures.cpp
    LABELS faults posix)
  if(TARGET test_alloc_failures AND NOT WIN32)
    target_link_libraries(test_alloc_failures PRIVATE yyjson::yyjson ${CMAKE_DL_LIBS})
  endif()
  # A self-contained library holds yyjson and the C++ runtime: the test tells
  # their code from the library's own by the symbols of its debug file.
  if(TF_SELF_CONTAINED AND NOT WIN32)
    target_compile_definitions(test_alloc_failures PRIVATE
      TF_LIBRARY_DEBUG_FILE="$<TARGET_FILE:quobrix-textfile>.debug")
  endif()
  # The replacement allocator runs before the sanitizer runtime has set up its
  # shadow memory, so it must not be instrumented itself.
  if(TF_SANITIZE)
    set_source_files_properties(faults/alloc_injector.cpp PROPERTIES COMPILE_OPTIONS -fno-sanitize=all)
  endif()
endif()

# I/O failure injection: every file call of tf_open and the saves, plus the
# file-size limit and small mounted file systems.
tf_add_test(test_io_failures PUBLIC
  SOURCES faults/io_injector.cpp faults/test_io_failures.cpp LABELS faults posix)
if(TARGET test_io_failures AND NOT WIN32)
  target_link_libraries(test_io_failures PRIVATE ${CMAKE_DL_LIBS})
endif()
if(TF_SANITIZE)
  set_source_files_properties(faults/io_injector.cpp PROPERTIES COMPILE_OPTIONS -fno-sanitize=all)
endif()
