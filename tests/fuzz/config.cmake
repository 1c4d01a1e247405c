grelvix_add_fuzz_test(fuzz_config SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_config.cpp
  LIBS grelvix_station)
