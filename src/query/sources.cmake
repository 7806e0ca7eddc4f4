list(APPEND TF_SOURCES
  query/count_lines.cpp
  query/info.cpp
)
