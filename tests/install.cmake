# `cmake --install` into a scratch DESTDIR, and the installed programs run from there. Its
# Proactive Cooling writes the machine-wide pid file, so it holds the "pidfile" lock.
if(TARGET Quillomatics AND TARGET smc-sim AND NOT APPLE)
  add_test(NAME install_layout
           COMMAND ${CMAKE_CURRENT_LIST_DIR}/install_test.sh ${CMAKE_BINARY_DIR}
                   ${CMAKE_CURRENT_BINARY_DIR}/install_test)
  set_tests_properties(install_layout PROPERTIES TIMEOUT 120 SKIP_RETURN_CODE 77
                                                 RESOURCE_LOCK pidfile)
endif()
