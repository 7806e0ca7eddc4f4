# TF_SANITIZE applies to everything built in this tree, so that the library,
# the tests and the tools agree on the runtime.
if(TF_SANITIZE)
  string(REPLACE ";" "," _tf_san "${TF_SANITIZE}")
  add_compile_options(-fsanitize=${_tf_san} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${_tf_san})
endif()
