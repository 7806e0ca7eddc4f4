tf_add_test(test_find_matches SOURCES query/test_find_matches.cpp LABELS query)
tf_add_test(test_search PUBLIC SOURCES query/test_search.cpp LABELS query)
tf_add_test(test_replace_preview PUBLIC SOURCES query/test_replace_preview.cpp LABELS query)
