# Warnings for our own targets; TF_WERROR turns them into errors (CI sets it).
function(tf_set_warnings target)
  target_compile_options(${target} PRIVATE
    $<$<COMPILE_LANGUAGE:C,CXX>:-Wall -Wextra -Wpedantic -Wshadow>
    # g++ 12 reports std::string concatenation as overlapping memcpy
    # (GCC bug 105329): a false positive in the standard headers.
    $<$<AND:$<COMPILE_LANGUAGE:CXX>,$<CXX_COMPILER_ID:GNU>>:-Wno-restrict>
    $<$<BOOL:${TF_WERROR}>:-Werror>)
endfunction()
