list(APPEND TF_SOURCES
  save/encode_utf16le.cpp
  save/utf16le_units.cpp
  save/target_lock.cpp
  save/atomic_replace.cpp
  save/save_encoded.cpp
  save/save.cpp
)
