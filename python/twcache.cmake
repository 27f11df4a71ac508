# twcache.cmake - the Python module twcache over the cache library, and its tests.
# Built only when pybind11 and NumPy are there; the interpreter is the system's, which is the one
# that sees the distribution's NumPy.
if(NOT Python3_EXECUTABLE AND EXISTS /usr/bin/python3)
	set(Python3_EXECUTABLE /usr/bin/python3)
endif()
find_package(Python3 COMPONENTS Interpreter Development.Module NumPy QUIET)
if(Python3_FOUND)
	find_package(pybind11 CONFIG QUIET)
endif()
if(NOT (Python3_FOUND AND Python3_NumPy_FOUND AND pybind11_FOUND))
	message(STATUS "twcache Python module not built: needs pybind11 and NumPy for ${Python3_EXECUTABLE}")
	return()
endif()

set(TW_PYTHON_DIR ${CMAKE_BINARY_DIR}/python)
file(GLOB TW_PYTHON_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/python/*.cpp)
pybind11_add_module(twcache_python MODULE ${TW_PYTHON_SOURCES})
target_link_libraries(twcache_python PRIVATE twcache)
target_compile_options(twcache_python PRIVATE ${TW_WARNINGS})
set_target_properties(twcache_python PROPERTIES OUTPUT_NAME twcache LIBRARY_OUTPUT_DIRECTORY ${TW_PYTHON_DIR})

# Where `cmake --install` puts the module: the interpreter's site-packages, relative to the prefix.
execute_process(COMMAND ${Python3_EXECUTABLE} -c
	"import sysconfig; print(sysconfig.get_path('platlib', 'posix_prefix', {'platbase': '', 'base': ''}).lstrip('/'))"
	OUTPUT_VARIABLE TW_PYTHON_SITEARCH OUTPUT_STRIP_TRAILING_WHITESPACE)
set(TW_PYTHON_INSTALL_DIR ${TW_PYTHON_SITEARCH} CACHE STRING "Install folder of the twcache Python module, relative to the prefix")
install(TARGETS twcache_python LIBRARY DESTINATION ${TW_PYTHON_INSTALL_DIR})

enable_testing()
# In a sanitizer build the interpreter loads an instrumented module: the address sanitizer's runtime
# has to come first, with the C++ runtime whose exceptions it intercepts (the interpreter has none of
# its own), and the interpreter's own allocations are not ours to judge for leaks.
set(TW_PYTHON_RUNTIME_ENV)
if(TW_SANITIZE)
	execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libasan.so OUTPUT_VARIABLE TW_ASAN_RUNTIME
		OUTPUT_STRIP_TRAILING_WHITESPACE)
	execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++.so OUTPUT_VARIABLE TW_CXX_RUNTIME
		OUTPUT_STRIP_TRAILING_WHITESPACE)
	get_filename_component(TW_CXX_RUNTIME ${TW_CXX_RUNTIME} REALPATH)
	set(TW_PYTHON_RUNTIME_ENV LD_PRELOAD=${TW_ASAN_RUNTIME}:${TW_CXX_RUNTIME} ASAN_OPTIONS=detect_leaks=0)
endif()
if(TARGET twconnect)
	set(TW_PYTHON_TEST_ENV PYTHONPATH=${TW_PYTHON_DIR} TWCONNECT=$<TARGET_FILE:twconnect> TW_SOURCE_DIR=${CMAKE_SOURCE_DIR}
		${TW_PYTHON_RUNTIME_ENV})
	add_test(NAME python_twcache COMMAND ${Python3_EXECUTABLE} -m unittest discover -s ${CMAKE_SOURCE_DIR}/tests/python -t ${CMAKE_SOURCE_DIR}/tests/python -v)
	set_tests_properties(python_twcache PROPERTIES ENVIRONMENT "${TW_PYTHON_TEST_ENV}")
endif()

# The benchmark's smoke run: it works, figures aside (the full run is bench/python_bench.py by hand).
add_test(NAME python_bench_smoke COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/bench/python_bench.py --count 20000 --repeats 2)
set_tests_properties(python_bench_smoke PROPERTIES ENVIRONMENT "PYTHONPATH=${TW_PYTHON_DIR};${TW_PYTHON_RUNTIME_ENV}")
