// twcache_module.cpp - the twcache Python module: entry point and the shared error and array helpers.
#include "twcache_py.h"

#include <cstring>

std::string FileLabel(const char* kind, const std::string& path)
{
	return std::string(kind) + " file '" + path + "'";
}

void RaiseValue(const std::string& reason)
{
	throw py::value_error(reason);
}

void RaiseOpen(const char* kind, const std::string& path, int error_number)
{
	// OSError(errno, text, filename) becomes the matching subclass, as open() raises it.
	const std::string text = std::string("cannot open ") + kind + " file: " +
		(error_number ? std::strerror(error_number) : "path too long or out of memory");
	py::object error = py::module_::import("builtins").attr("OSError")(error_number, text, path);
	PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(error.ptr())), error.ptr());
	throw py::error_already_set();
}

py::array ViewArray(const py::dtype& dtype, std::vector<py::ssize_t> shape, std::vector<py::ssize_t> strides,
	const void* data, const py::object& owner)
{
	bool empty = false;
	for (py::ssize_t n : shape)
		empty = empty || n == 0;
	if (empty || !data)
		return py::array(dtype, shape);
	return py::array(dtype, shape, strides, data, owner);
}

PYBIND11_MODULE(twcache, m)
{
	m.doc() = "Reads and writes Tidewell cache files (particles, meshes, SD scenes) as NumPy arrays.";
	BindParticles(m);
	BindMesh(m);
	BindSd(m);
	BindSequence(m);
	BindBenchHelpers(m);
}
