# Install rules of the library and the host stand-ins it links.
#
#   <prefix>/lib/libmerrow1.so and lib<host>.so of every stand-in
#   <prefix>/include/merrow1/*.h (not legacy/) and each stand-in's public headers (not its
#       test controls, testing*.h, except the error service's: a host program reads what
#       libstend recorded through <stend/testing.h>)
#   <prefix>/lib/cmake/merrow1/merrow1Config.cmake with the imported targets
#       merrow1::merrow1 and merrow1::<host>
include(CMakePackageConfigHelpers)

set(MERROW1_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/merrow1)

# Installed libraries find each other beside themselves.
set_target_properties(merrow1 ${MERROW1_HOST_LIBRARIES} PROPERTIES INSTALL_RPATH "$ORIGIN")

install(TARGETS merrow1 ${MERROW1_HOST_LIBRARIES} EXPORT merrow1Targets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# include/merrow1/legacy/ declares what only the earlier builds hold.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/merrow1 DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        FILES_MATCHING PATTERN "*.h" PATTERN "legacy" EXCLUDE)
foreach(lib ${MERROW1_HOST_LIBRARIES})
  if(lib STREQUAL "stend")
    install(DIRECTORY ${PROJECT_SOURCE_DIR}/host/${lib}/include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
            FILES_MATCHING PATTERN "*.h")
  else()
    install(DIRECTORY ${PROJECT_SOURCE_DIR}/host/${lib}/include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
            FILES_MATCHING PATTERN "*.h" PATTERN "testing*.h" EXCLUDE)
  endif()
endforeach()

install(EXPORT merrow1Targets NAMESPACE merrow1:: DESTINATION ${MERROW1_INSTALL_CMAKEDIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/merrow1Config.cmake.in
                              ${CMAKE_CURRENT_BINARY_DIR}/merrow1Config.cmake
                              INSTALL_DESTINATION ${MERROW1_INSTALL_CMAKEDIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/merrow1ConfigVersion.cmake
                                 COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/merrow1Config.cmake ${CMAKE_CURRENT_BINARY_DIR}/merrow1ConfigVersion.cmake
        DESTINATION ${MERROW1_INSTALL_CMAKEDIR})
