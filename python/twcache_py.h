// twcache_py.h - shared pieces of the twcache Python module: errors and array views.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <string>
#include <vector>

namespace py = pybind11;

// "kind file 'path'", the subject of every message about a file.
std::string FileLabel(const char* kind, const std::string& path);

// ValueError with the reason.
[[noreturn]] void RaiseValue(const std::string& reason);
// OSError (FileNotFoundError, PermissionError, ... by errno) for a file that cannot be opened.
[[noreturn]] void RaiseOpen(const char* kind, const std::string& path, int error_number);

// An array over memory owned by `owner` (a capsule holding the library's record), without a copy:
// the array keeps the owner, and so the record, alive. An empty shape gets its own empty array.
py::array ViewArray(const py::dtype& dtype, std::vector<py::ssize_t> shape, std::vector<py::ssize_t> strides,
	const void* data, const py::object& owner);

template <typename T>
py::array View(const T* data, std::vector<py::ssize_t> shape, std::vector<py::ssize_t> strides, const py::object& owner)
{
	return ViewArray(py::dtype::of<T>(), std::move(shape), std::move(strides), data, owner);
}

// A C-contiguous array of T from any array-like, checked against the shape (-1 = any length).
template <typename T>
py::array_t<T, py::array::c_style | py::array::forcecast> Contiguous(const py::handle& value, const char* name,
	std::vector<py::ssize_t> shape)
{
	py::array_t<T, py::array::c_style | py::array::forcecast> a;
	try
	{
		a = py::array_t<T, py::array::c_style | py::array::forcecast>::ensure(value);
	}
	catch (py::error_already_set&)
	{
	}
	if (!a)
		RaiseValue(std::string("'") + name + "' is not an array of numbers");
	bool fits = static_cast<size_t>(a.ndim()) == shape.size();
	for (size_t i = 0; fits && i < shape.size(); ++i)
		fits = shape[i] < 0 || a.shape(static_cast<py::ssize_t>(i)) == shape[i];
	if (!fits)
	{
		std::string want = "(";
		for (size_t i = 0; i < shape.size(); ++i)
			want += (i ? ", " : "") + (shape[i] < 0 ? std::string("n") : std::to_string(shape[i]));
		RaiseValue(std::string("'") + name + "' must have shape " + want + (shape.size() == 1 ? ",)" : ")"));
	}
	return a;
}

void BindParticles(py::module_& m);
void BindMesh(py::module_& m);
void BindSd(py::module_& m);
void BindSequence(py::module_& m);
void BindBenchHelpers(py::module_& m);
