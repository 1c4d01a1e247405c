# The Windows package: cpack -G ZIP makes grelvix-<version>-win64.zip holding the station, the
# DLLs it loads, the Qt plugins Qt loads at run time, the icon and a README for Windows users.
# The DLLs are found by walking the imports of the program and the plugins (objdump -p, again
# for every DLL found; cmake/windowsimports.cmake) through the directories below.

# Qt loads these by name at run time, so no import names them: the platform (the window system)
# and the native look of the widgets. PNG is built into Qt Gui.
set(GRELVIX_QT_PLUGINS platforms/qwindows styles/qwindowsvistastyle)

get_target_property(qt_core_dll Qt6::Core IMPORTED_LOCATION_RELEASE)
get_filename_component(qt_bin_dir "${qt_core_dll}" DIRECTORY)
get_filename_component(qt_plugin_dir "${qt_bin_dir}/../plugins" ABSOLUTE)
get_target_property(qcustomplot_dll QCustomPlotQt6::QCustomPlotQt6 LOCATION)
get_filename_component(qcustomplot_bin_dir "${qcustomplot_dll}" DIRECTORY)
# The compiler's runtime: libstdc++, libgcc and winpthread.
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-libgcc-file-name
  OUTPUT_VARIABLE libgcc OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(gcc_runtime_dir "${libgcc}" DIRECTORY)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libwinpthread-1.dll
  OUTPUT_VARIABLE winpthread OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(winpthread_dir "${winpthread}" DIRECTORY)

set(plugin_files "")
foreach(plugin IN LISTS GRELVIX_QT_PLUGINS)
  set(file "${qt_plugin_dir}/${plugin}.dll")
  if(NOT EXISTS "${file}")
    message(FATAL_ERROR "Qt plugin ${file} missing: Qt was built without it")
  endif()
  get_filename_component(folder "${plugin}" DIRECTORY)
  install(FILES "${file}" DESTINATION "${folder}")
  list(APPEND plugin_files "${file}")
endforeach()

if(NOT CMAKE_OBJDUMP OR NOT CMAKE_STRIP)
  message(FATAL_ERROR "No objdump or strip for Windows programs: set CMAKE_OBJDUMP, CMAKE_STRIP")
endif()
install(CODE "
  include(\"${PROJECT_SOURCE_DIR}/cmake/windowsimports.cmake\")
  grelvix_install_imports(OBJDUMP \"${CMAKE_OBJDUMP}\"
    DESTINATION \"\${CMAKE_INSTALL_PREFIX}\"
    FILES \"$<TARGET_FILE:grelvix>\" ${plugin_files}
    DIRECTORIES \"${qt_bin_dir}\" \"${qcustomplot_bin_dir}\" \"${gcc_runtime_dir}\"
      \"${winpthread_dir}\")
  # Debian's mingw runtime keeps its symbols: a third of the package, of no use to the operator.
  file(GLOB_RECURSE binaries \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/*.dll\"
    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/*.exe\")
  foreach(binary IN LISTS binaries)
    execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-unneeded \"\${binary}\"
      COMMAND_ERROR_IS_FATAL ANY)
  endforeach()
")

install(FILES "${PROJECT_SOURCE_DIR}/resources/grelvix.ico" DESTINATION .)
install(FILES "${PROJECT_SOURCE_DIR}/docs/windows/README.txt" DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME grelvix)
set(CPACK_PACKAGE_VENDOR Grelvix)
set(CPACK_PACKAGE_FILE_NAME "grelvix-${PROJECT_VERSION}-win64")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_PACKAGE_DIRECTORY "${PROJECT_BINARY_DIR}/package")
include(CPack)
