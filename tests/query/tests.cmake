tf_add_test(test_query_units
  SOURCES query/test_count_lines.cpp query/test_text_measures.cpp
          query/test_locate_offset.cpp query/test_select_page.cpp query/test_builders.cpp
  LABELS query)
tf_add_test(test_query_api PUBLIC
  SOURCES query/test_page_text.cpp query/test_full_text.cpp query/test_stats.cpp
          query/test_linecol.cpp query/test_query_properties.cpp
  LABELS query)
target_link_libraries(test_query_api PRIVATE yyjson::yyjson)
tf_add_test(test_query_full_limit PUBLIC SOURCES query/test_full_limit.cpp LABELS query)
tf_add_test(test_query_alloc_failures PUBLIC
  SOURCES query/test_query_alloc_failures.cpp support/alloc_probe.cpp
  LABELS query posix)
tf_add_test(test_measures_fast SOURCES query/test_measures_fast.cpp LABELS query)
tf_add_test(test_find_matches SOURCES query/test_find_matches.cpp LABELS query)
tf_add_test(test_search PUBLIC SOURCES query/test_search.cpp LABELS query)
tf_add_test(test_replace_preview PUBLIC SOURCES query/test_replace_preview.cpp LABELS query)
tf_add_test(test_search_fast SOURCES query/test_search_fast.cpp LABELS query)
tf_add_test(test_search_json SOURCES query/test_search_json.cpp LABELS query)
