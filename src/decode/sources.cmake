list(APPEND TF_SOURCES
  decode/detect_encoding.cpp
  decode/decode_to_utf8.cpp
  decode/decode_utf8.cpp
  decode/decode_utf16le.cpp
  decode/decode_ansi.cpp
  decode/line_endings.cpp
  decode/names.cpp
  decode/open_file.cpp
)
