# A save killed with SIGKILL at random moments (forks; seconds of disk work).
tf_add_test(test_save_crash PUBLIC SOURCES stress/test_save_crash.cpp LABELS stress posix)
# Threads opening, querying, saving and closing at once (the tsan preset runs it).
tf_add_test(test_thread_stress PUBLIC SOURCES stress/test_thread_stress.cpp LABELS threads)
