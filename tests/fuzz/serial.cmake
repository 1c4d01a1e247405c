# What a device server sends comes off the network, so the telnet layer under it is fuzzed.
grelvix_add_fuzz_test(fuzz_telnet SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_telnet.cpp LIBS grelvix_serial)
