# The Python package's unittest suites, against the library just built. Not
# under the sanitizers: their runtime cannot be loaded into an interpreter
# that was not built with it.
# Nor in a cross build: the host's interpreter cannot load the target's library.
if(NOT TF_SANITIZE AND NOT CMAKE_CROSSCOMPILING)
  find_package(Python3 3.9 COMPONENTS Interpreter REQUIRED)
  set(_tf_py_dir ${PROJECT_SOURCE_DIR}/bindings/python)
  foreach(suite loading document threads gate readme paths types)
    add_test(NAME python_${suite}
      COMMAND ${Python3_EXECUTABLE} -m unittest discover
              -s ${_tf_py_dir}/tests -p test_${suite}.py -v)
    set_tests_properties(python_${suite} PROPERTIES
      LABELS python
      ENVIRONMENT "QUOBRIX_TEXTFILE_LIBRARY=$<TARGET_FILE:quobrix-textfile>;PYTHONPATH=${_tf_py_dir};PYTHONDONTWRITEBYTECODE=1")
  endforeach()
endif()
