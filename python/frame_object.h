// frame_object.h - the Python object of one read frame: its header and its arrays by name.
#pragma once

#include "twcache_py.h"

struct Frame
{
	std::string path;
	std::string format; // "bin", "tpc", "pxy", "mesh-bin", "chunked", "md"
	py::ssize_t count = 0; // particles or vertices
	py::dict header;
	py::dict channels; // name -> array viewing the library's record
};
