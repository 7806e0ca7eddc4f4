# A save killed with SIGKILL at random moments (forks; seconds of disk work).
tf_add_test(test_save_crash PUBLIC SOURCES stress/test_save_crash.cpp LABELS stress)
