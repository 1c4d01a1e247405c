grelvix_add_fuzz_test(fuzz_receive SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_receive.cpp
  LIBS grelvix_station Qt6::Test)
