list(APPEND TF_SOURCES
  query/count_lines.cpp
  query/info.cpp
)

# Search and replace preview.
list(APPEND TF_SOURCES
  query/find_matches.cpp
  query/search.cpp
  query/replace_all.cpp
  query/replace_preview.cpp
)
