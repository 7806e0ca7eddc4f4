# tf_open with the file changing between its own calls (hooked file calls).
tf_add_test(test_open_between_calls PUBLIC
  SOURCES hostile/io_hooks.cpp hostile/test_open_between_calls.cpp LABELS hostile posix)
if(TARGET test_open_between_calls AND NOT WIN32)
  target_link_libraries(test_open_between_calls PRIVATE ${CMAKE_DL_LIBS})
endif()
# The hooks can run while a sanitizer runtime starts up.
if(TF_SANITIZE)
  set_source_files_properties(hostile/io_hooks.cpp PROPERTIES COMPILE_OPTIONS -fno-sanitize=all)
endif()
# tf_open on special files, loops, over-long paths, lying sizes.
tf_add_test(test_hostile_open PUBLIC SOURCES hostile/test_hostile_open.cpp LABELS hostile posix)
# tf_open racing a thread that swaps or rewrites the file.
tf_add_test(test_open_races PUBLIC SOURCES hostile/test_open_races.cpp LABELS threads posix)
# The largest accepted document, queried whole.
tf_add_test(test_huge_documents PUBLIC SOURCES hostile/test_huge_documents.cpp LABELS hostile)
# Search and replace preview at their limits.
tf_add_test(test_hostile_search PUBLIC SOURCES hostile/test_hostile_search.cpp LABELS hostile)
