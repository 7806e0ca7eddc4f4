list(APPEND TF_SOURCES
  frame/library_state.cpp
  frame/last_error.cpp
  frame/result_doc.cpp
  frame/flat_json.cpp
  frame/simd_level.cpp
  frame/large_block.cpp
  frame/text_lease.cpp
)
