// sequence.cpp - twcache.sequence: the numbered frame files a chosen file belongs to.
#include "twcache_py.h"
#include "frame_sequence.h"

#include <memory>

namespace
{

// The Python object keeps its own sequence; the path of a frame is formatted by the library.
struct Sequence
{
	FrameSequence sequence;
};

std::unique_ptr<Sequence> OpenSequence(const std::string& path)
{
	if (path.empty() || path.size() >= SEQUENCE_PATH_SIZE)
		RaiseValue("a sequence file name must have 1 to 255 characters: '" + path + "'");
	auto s = std::make_unique<Sequence>();
	s->sequence.SetName(path.c_str(), true, true);
	return s;
}

std::string FramePath(Sequence& s, int32_t frame)
{
	char out[SEQUENCE_PATH_SIZE] = {};
	s.sequence.GetFileName(frame, 0, out);
	if (!out[0])
		RaiseValue("the path of frame " + std::to_string(frame) + " of '" + s.sequence.pattern +
			"' does not fit 255 characters");
	return out;
}

} // namespace

void BindSequence(py::module_& m)
{
	py::class_<Sequence>(m, "Sequence", "The frame files of a cache sequence, named after one chosen file.")
		.def_property_readonly("name", [](const Sequence& s) { return std::string(s.sequence.name); })
		.def_property_readonly("pattern", [](const Sequence& s) { return std::string(s.sequence.pattern); })
		.def_property_readonly("first", [](const Sequence& s) { return s.sequence.first; })
		.def_property_readonly("last", [](const Sequence& s) { return s.sequence.last; })
		.def_property_readonly("has_token", [](const Sequence& s) { return s.sequence.FindToken() >= 0; })
		.def("path", &FramePath, py::arg("frame"), "Path of a frame's file.")
		.def("frames", [](const Sequence& s) {
			py::list l;
			if (s.sequence.FindToken() >= 0)
				for (int32_t f = s.sequence.first; f <= s.sequence.last && s.sequence.last >= 0; ++f)
					l.append(f);
			return l;
		})
		.def("__repr__", [](const Sequence& s) {
			return "<twcache.Sequence '" + std::string(s.sequence.pattern) + "' " + std::to_string(s.sequence.first) +
				".." + std::to_string(s.sequence.last) + ">";
		});
	m.def("sequence", &OpenSequence, py::arg("path"),
		"The sequence of a chosen frame file: its pattern, the first and last frame on disk, path(frame).");
}
