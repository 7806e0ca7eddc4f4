list(APPEND TF_SOURCES
  decode/detect_encoding.cpp
  decode/utf8_validate.cpp
  decode/decode_to_utf8.cpp
  decode/decode_utf8.cpp
  decode/decode_utf16le.cpp
  decode/decode_ansi.cpp
  decode/latin1_to_utf8.cpp
  decode/utf16le_to_utf8.cpp
  decode/line_breaks.cpp
  decode/line_endings.cpp
  decode/names.cpp
  decode/load_file.cpp
  decode/open_file.cpp
)
