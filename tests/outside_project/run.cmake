# run.cmake - installs the build into a fresh prefix, then builds and runs an outside project against it,
# reads a frame with the installed twconnect and with the installed Python module, and checks the
# pkg-config file.
set(PREFIX ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

function(run)
	execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
	if(NOT rc EQUAL 0)
		message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}\n${err}")
	endif()
	set(OUT "${out}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX})
foreach(f bin/twconnect ${LIBDIR}/tidewell_connect/tidewell_connect.xdl64 ${LIBDIR}/tidewell_connect/res
		${LIBDIR}/libtwcache.a include/tidewell/particle_bin.h include/tidewell/frame_sequence.h
		${LIBDIR}/cmake/TidewellCache/TidewellCacheConfig.cmake ${LIBDIR}/pkgconfig/twcache.pc)
	if(NOT EXISTS ${PREFIX}/${f})
		message(FATAL_ERROR "not installed: ${f}")
	endif()
endforeach()

# The installed twconnect runs from the prefix (its library found beside it) and writes a frame.
run(${PREFIX}/bin/twconnect sample particles ${WORK_DIR}/frames --end 0 --count 321 --name splash)
file(GLOB frame ${WORK_DIR}/frames/*.bin)

run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/build -G ${GENERATOR} -DCMAKE_PREFIX_PATH=${PREFIX})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
run(${WORK_DIR}/build/read_frame ${frame})
if(NOT OUT MATCHES "particles 321")
	message(FATAL_ERROR "the outside project read: ${OUT}")
endif()

# The same frame through the installed Python module, with nothing of the build tree on the path.
set(ENV{PYTHONPATH} ${PREFIX}/${PYTHON_DIR})
run(${PYTHON} ${SOURCE_DIR}/read_frame.py ${PREFIX} ${frame})
if(NOT OUT MATCHES "^321")
	message(FATAL_ERROR "the installed Python module read: ${OUT}")
endif()

# pkg-config's flags compile and link the same tool.
file(READ ${PREFIX}/${LIBDIR}/pkgconfig/twcache.pc pc)
string(REPLACE "\${pcfiledir}/../.." "${PREFIX}" pc "${pc}")
string(REGEX MATCH "Cflags: ([^\n]*)" _ "${pc}")
set(cflags ${CMAKE_MATCH_1})
string(REGEX MATCH "\nLibs: ([^\n]*)" _ "${pc}")
set(libs ${CMAKE_MATCH_1})
string(REPLACE "\${includedir}" "${PREFIX}/include/tidewell" cflags "${cflags}")
string(REPLACE "\${libdir}" "${PREFIX}/${LIBDIR}" libs "${libs}")
separate_arguments(cflags UNIX_COMMAND "${cflags}")
separate_arguments(libs UNIX_COMMAND "${libs}")
run(c++ ${cflags} ${SOURCE_DIR}/read_frame.cpp -o ${WORK_DIR}/read_frame_pc ${libs})
run(${WORK_DIR}/read_frame_pc ${frame})
if(NOT OUT MATCHES "particles 321")
	message(FATAL_ERROR "the pkg-config build read: ${OUT}")
endif()
