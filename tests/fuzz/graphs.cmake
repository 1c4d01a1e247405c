# Log files are read from whatever the operator picks, so their reader is fuzzed.
grelvix_add_fuzz_test(fuzz_logreader SOURCES fuzz_logreader.cpp LIBS grelvix_graphs)
