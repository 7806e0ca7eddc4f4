list(APPEND TF_SOURCES
  query/count_lines.cpp
  query/count_words.cpp
  query/count_chars.cpp
  query/measure_text.cpp
  query/locate_offset.cpp
  query/info.cpp
  query/page_text.cpp
  query/page_json.cpp
  query/full_text.cpp
  query/stats.cpp
  query/linecol.cpp
)

# Search and replace preview.
list(APPEND TF_SOURCES
  query/two_way_matcher.cpp
  query/find_matches.cpp
  query/search.cpp
  query/search_json.cpp
  query/replace_all.cpp
  query/replace_preview.cpp
)
