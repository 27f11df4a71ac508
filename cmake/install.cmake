# install.cmake - what `cmake --install` puts under the prefix: twconnect, the module folder, the cache
# library with its headers as the CMake package TidewellCache and as pkg-config's twcache.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(TW_INCLUDE_SUBDIR tidewell)
set(TW_CMAKE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/TidewellCache)

# The library's public headers: everything a reader or writer of the formats needs, not its internals.
file(GLOB TW_CACHE_HEADERS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/source/cache/*.h)
list(FILTER TW_CACHE_HEADERS EXCLUDE REGEX "/(cache_internal|mesh_io)\\.h$")
list(APPEND TW_CACHE_HEADERS ${CMAKE_SOURCE_DIR}/source/sequence/frame_sequence.h)
install(FILES ${TW_CACHE_HEADERS} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/${TW_INCLUDE_SUBDIR})
set_target_properties(twcache PROPERTIES EXPORT_NAME twcache)
install(TARGETS twcache EXPORT TidewellCacheTargets
	ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
	INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/${TW_INCLUDE_SUBDIR})
install(EXPORT TidewellCacheTargets NAMESPACE Tidewell:: DESTINATION ${TW_CMAKE_PACKAGE_DIR})
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/TidewellCacheConfig.cmake.in
	${CMAKE_BINARY_DIR}/TidewellCacheConfig.cmake INSTALL_DESTINATION ${TW_CMAKE_PACKAGE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/TidewellCacheConfigVersion.cmake VERSION 6.0.2
	COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/TidewellCacheConfig.cmake ${CMAKE_BINARY_DIR}/TidewellCacheConfigVersion.cmake
	DESTINATION ${TW_CMAKE_PACKAGE_DIR})

set(TW_PC_LIBS "-ltwcache")
if(LIBDEFLATE_INCLUDE_DIR AND LIBDEFLATE_LIBRARY)
	string(APPEND TW_PC_LIBS " -ldeflate")
endif()
configure_file(${CMAKE_SOURCE_DIR}/cmake/twcache.pc.in ${CMAKE_BINARY_DIR}/twcache.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/twcache.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

if(TARGET twconnect)
	# twconnect and the module find the headless host's library beside them, wherever the prefix is.
	set_target_properties(twconnect PROPERTIES INSTALL_RPATH "\$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
	set_target_properties(tidewell_connect PROPERTIES INSTALL_RPATH "\$ORIGIN/..")
	install(TARGETS twconnect RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
	# the module folder as seen from the installed program, for its default --plugins
	file(RELATIVE_PATH TW_PLUGINS_FROM_BIN /${CMAKE_INSTALL_BINDIR} /${CMAKE_INSTALL_LIBDIR}/tidewell_connect)
	target_compile_definitions(twconnectcore PRIVATE TW_INSTALLED_PLUGIN_DIR="${TW_PLUGINS_FROM_BIN}")
	install(TARGETS twheadless LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
	install(TARGETS tidewell_connect LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/tidewell_connect)
	install(DIRECTORY ${CMAKE_SOURCE_DIR}/res DESTINATION ${CMAKE_INSTALL_LIBDIR}/tidewell_connect)
endif()

# An outside project built against the installed package, the way a pipeline's own tool would be.
# Not in a sanitizer build: its library needs the sanitizers' runtime, which an outside tool lacks.
if(TARGET twconnect AND TARGET twcache_python AND NOT TW_SANITIZE)
	add_test(NAME install_outside_project COMMAND ${CMAKE_COMMAND}
		-DBUILD_DIR=${CMAKE_BINARY_DIR} -DSOURCE_DIR=${CMAKE_SOURCE_DIR}/tests/outside_project
		-DWORK_DIR=${CMAKE_BINARY_DIR}/outside_project -DGENERATOR=${CMAKE_GENERATOR}
		-DPYTHON=${Python3_EXECUTABLE} -DPYTHON_DIR=${TW_PYTHON_INSTALL_DIR} -DLIBDIR=${CMAKE_INSTALL_LIBDIR}
		-P ${CMAKE_SOURCE_DIR}/tests/outside_project/run.cmake)
endif()
