# Before any layer builds, cmake/checklayers.cmake checks that none includes a layer it does not
# build on, and that the tools and benchmarks include nothing of the tests; it runs again
# whenever a file of theirs changes.
set(GRELVIX_LAYER_LIBRARIES grelvix_serial grelvix_common grelvix_station grelvix_graphs
  grelvix_settings grelvix_app)
if(GRELVIX_MQTT)
  list(APPEND GRELVIX_LAYER_LIBRARIES grelvix_mqtt grelvix_publisher)
endif()
if(TARGET grelvix_headless)
  list(APPEND GRELVIX_LAYER_LIBRARIES grelvix_headless)
endif()

set(layer_files "")
set(layer_folders tools bench)
foreach(library IN LISTS GRELVIX_LAYER_LIBRARIES)
  get_target_property(folder ${library} SOURCE_DIR)
  list(APPEND layer_folders ${folder})
endforeach()
foreach(folder IN LISTS layer_folders)
  file(GLOB_RECURSE files CONFIGURE_DEPENDS ${folder}/*.h ${folder}/*.cpp)
  list(APPEND layer_files ${files})
endforeach()

set(stamp ${CMAKE_CURRENT_BINARY_DIR}/layers.checked)
add_custom_command(OUTPUT ${stamp}
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
    -P ${PROJECT_SOURCE_DIR}/cmake/checklayers.cmake
  COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
  DEPENDS ${layer_files} ${PROJECT_SOURCE_DIR}/cmake/checklayers.cmake
  COMMENT "Checking that no layer includes one it does not build on"
  VERBATIM)
add_custom_target(grelvix_layers DEPENDS ${stamp})
foreach(library IN LISTS GRELVIX_LAYER_LIBRARIES)
  add_dependencies(${library} grelvix_layers)
endforeach()
