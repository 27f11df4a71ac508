// mesh.cpp - read_mesh and write_mesh: mesh .bin, chunked and .md frames as arrays.
#include "frame_object.h"
#include "mesh_bin.h"
#include "mesh_chunk.h"
#include "mesh_md.h"

#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>

namespace
{

int32_t MeshKind(const std::string& path, const std::string& kind)
{
	if (kind == "bin")
		return 2;
	if (kind == "chunked")
		return 3;
	if (kind == "md")
		return 4;
	if (!kind.empty())
		RaiseValue("unknown mesh kind '" + kind + "' (bin, chunked or md)");
	unsigned char b[4] = {};
	FILE* f = std::fopen(path.c_str(), "rb");
	if (!f)
		RaiseOpen("mesh", path, errno);
	const size_t got = std::fread(b, 1, 4, f);
	std::fclose(f);
	const uint32_t magic = static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
		static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
	if (got == 4 && magic == MESH_BIN_MAGIC)
		return 2;
	if (got == 4 && magic == MESH_MD_MAGIC)
		return 4;
	if (got == 4 && std::memcmp(b, "FORM", 4) == 0)
		return 3;
	RaiseValue(FileLabel("mesh", path) + " is not a mesh .bin, .md or chunked file (unknown magic)");
}

void BinArrays(Frame& out, MeshBinFile* b, const py::object& owner)
{
	const py::ssize_t v = b->vertex_count;
	constexpr py::ssize_t stride = sizeof(MeshVertex);
	const MeshVertex* vx = b->vertices;
	const bool texture = b->texture_marker == MESH_BIN_TEXTURE_MARKER;
	const bool velocity = b->velocity_marker == MESH_BIN_VELOCITY_MARKER;
	out.count = v;
	out.header["version"] = b->version;
	out.header["vertex_count"] = b->vertex_count;
	out.header["face_count"] = b->face_count;
	out.header["kept_face_count"] = b->kept_face_count;
	out.header["weight_count"] = b->weight_count;
	out.header["texture"] = texture;
	out.header["velocity"] = velocity;
	out.channels["vertices"] = View(vx ? vx->position : nullptr, {v, 3}, {stride, 4}, owner);
	out.channels["faces"] = View(b->faces ? b->faces->index : nullptr, {b->kept_face_count, 3}, {12, 4}, owner);
	if (texture)
		out.channels["texture"] = View(vx ? vx->texture : nullptr, {v, 3}, {stride, 4}, owner);
	if (velocity)
		out.channels["velocity"] = View(vx ? vx->velocity : nullptr, {v, 3}, {stride, 4}, owner);
	const py::ssize_t w = b->weight_count;
	if (v > 0 && w > 0 && vx[0].weights)
	{
		// The readers lay each vertex's weights out in one block; a layout that differs is copied.
		bool block = vx[0].weights == b->weight_values;
		for (py::ssize_t i = 1; block && i < v; ++i)
			block = vx[i].weights == b->weight_values + i * w;
		if (block)
			out.channels["weights"] = View(b->weight_values, {v, w}, {w * 4, 4}, owner);
		else
		{
			py::array_t<float> copy({v, w});
			float* d = copy.mutable_data();
			for (py::ssize_t i = 0; i < v; ++i)
				std::memcpy(d + i * w, vx[i].weights, static_cast<size_t>(w) * sizeof(float));
			out.channels["weights"] = copy;
		}
	}
}

void MdArrays(Frame& out, MdMeshFile* md, const py::object& owner)
{
	const py::ssize_t v = md->vertex_count;
	constexpr py::ssize_t stride = sizeof(MdVertex);
	const float* base = md->vertices ? md->vertices->position : nullptr;
	out.count = v;
	out.header["name"] = md->name ? std::string(md->name, md->name_length) : std::string();
	out.header["version"] = md->version;
	out.header["vertex_count"] = md->vertex_count;
	out.header["face_count"] = md->face_count;
	out.header["kept_face_count"] = md->kept_face_count;
	out.channels["vertices"] = View(base, {v, 3}, {stride, 4}, owner);
	out.channels["faces"] = View(md->faces ? md->faces->index : nullptr, {md->kept_face_count, 3}, {12, 4}, owner);
	py::list described;
	for (int32_t k = 0; k < md->channel_count; ++k)
	{
		const MdChannel& c = md->channels[k];
		py::dict d;
		d["name"] = py::str(c.name);
		d["slot"] = c.id;
		d["value_type"] = c.value_type;
		d["info"] = c.info ? py::str(std::string(c.info, c.info_length)) : py::str("");
		described.append(d);
		// Channels outside the slot table are skipped by the reader: nothing to show.
		if (c.id >= MD_SLOT_COUNT || out.channels.contains(c.name))
			continue;
		const int first = MD_SLOT_FLOAT[c.id];
		const int end = c.id + 1 < MD_SLOT_COUNT ? MD_SLOT_FLOAT[c.id + 1] : static_cast<int>(stride / 4);
		const float* data = base ? base + first : nullptr;
		if (end - first == 1)
			out.channels[c.name] = View(data, {v}, {stride}, owner);
		else
			out.channels[c.name] = View(data, {v, end - first}, {stride, 4}, owner);
	}
	out.header["channels"] = described;
}

Frame ReadMesh(const std::string& path, float percent, const std::string& kind)
{
	const int32_t type = MeshKind(path, kind);
	MeshHandle* h = MeshHandleOpen(path.c_str(), type);
	if (!h)
		RaiseOpen("mesh", path, errno);
	py::capsule owner(h, [](void* p) { MeshHandleFree(static_cast<MeshHandle*>(p)); });
	int ok;
	{
		py::gil_scoped_release unlocked;
		ok = MeshHandleRead(h, percent);
		MeshHandleCloseFile(h);
	}
	if (!ok)
		RaiseValue("damaged or truncated " + FileLabel("mesh", path));
	Frame out;
	out.path = path;
	if (type == 4)
	{
		out.format = "md";
		MdArrays(out, MeshHandleMdFile(h), owner);
	}
	else
	{
		out.format = type == 2 ? "mesh-bin" : "chunked";
		BinArrays(out, MeshHandleBinFile(h), owner);
	}
	return out;
}

using FloatArray = py::array_t<float, py::array::c_style | py::array::forcecast>;

// An optional per-vertex array was given (a default array is one-dimensional and empty).
bool Given(const FloatArray& a)
{
	return a.ndim() == 2;
}

// Faces checked against the vertex count, as uint32.
std::vector<uint32_t> CheckedFaces(const py::handle& faces, py::ssize_t vertex_count)
{
	auto f = Contiguous<int64_t>(faces, "faces", {-1, 3});
	std::vector<uint32_t> out(static_cast<size_t>(f.size()));
	const int64_t* p = f.data();
	for (size_t i = 0; i < out.size(); ++i)
	{
		if (p[i] < 0 || p[i] >= vertex_count)
			RaiseValue("face " + std::to_string(i / 3) + " uses vertex " + std::to_string(p[i]) + ", not below the " +
				std::to_string(vertex_count) + " vertices");
		out[i] = static_cast<uint32_t>(p[i]);
	}
	return out;
}

FloatArray OptionalVectors(const py::object& value, const char* name, py::ssize_t v, py::ssize_t width = 3)
{
	if (value.is_none())
		return FloatArray();
	return Contiguous<float>(value, name, {v, width});
}

void RaiseWrite(const std::string& path, int error_number)
{
	std::remove(path.c_str());
	py::object error = py::module_::import("builtins").attr("OSError")(error_number,
		"could not write " + FileLabel("mesh", path) + ": " + std::strerror(error_number), path);
	PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(error.ptr())), error.ptr());
	throw py::error_already_set();
}

void WriteBinOrChunked(const std::string& path, const std::string& format, const FloatArray& vertices,
	const std::vector<uint32_t>& faces, const FloatArray& texture, const FloatArray& velocity,
	const FloatArray& weights)
{
	const py::ssize_t v = vertices.shape(0);
	const py::ssize_t f = static_cast<py::ssize_t>(faces.size() / 3);
	const bool has_texture = Given(texture) || Given(weights);
	const int32_t w = Given(weights) ? static_cast<int32_t>(weights.shape(1)) : 1;
	MeshBinFile* file = MeshBinCreate(path.c_str());
	if (!file)
		RaiseOpen("mesh", path, errno);
	std::unique_ptr<MeshBinFile, void (*)(MeshBinFile*)> guard(file, MeshBinFree);
	if (!MeshBinAllocate(file, static_cast<int32_t>(v), static_cast<int32_t>(f), w, has_texture, Given(velocity)))
		RaiseWrite(path, ENOMEM);
	for (py::ssize_t i = 0; i < v; ++i)
	{
		MeshVertex& x = file->vertices[i];
		std::memcpy(x.position, vertices.data(i, 0), 12);
		if (Given(texture))
			std::memcpy(x.texture, texture.data(i, 0), 12);
		if (Given(velocity))
			std::memcpy(x.velocity, velocity.data(i, 0), 12);
		if (Given(weights))
			std::memcpy(x.weights, weights.data(i, 0), static_cast<size_t>(w) * 4);
		else if (has_texture)
			x.weights[0] = 1.0f;
	}
	if (f > 0)
		std::memcpy(file->faces, faces.data(), faces.size() * 4);
	file->kept_face_count = static_cast<int32_t>(f);
	file->kept_index_count = static_cast<int32_t>(3 * f);
	int ok;
	if (format == "bin")
		ok = MeshBinWrite(file);
	else
	{
		// The record was created for the .bin writer; the chunked writer opens the path itself.
		std::fclose(file->stream);
		file->stream = nullptr;
		ok = MeshChunkWrite(file, path.c_str());
	}
	if (!ok)
		RaiseWrite(path, errno);
}

// The .md channels given by name: the slot is the name's place in the slot table.
void WriteMd(const std::string& path, const FloatArray& vertices, const std::vector<uint32_t>& faces,
	const py::dict& channels, const std::string& name)
{
	const py::ssize_t v = vertices.shape(0);
	std::vector<MdVertex> records(static_cast<size_t>(v));
	std::memset(records.data(), 0, records.size() * sizeof(MdVertex));
	std::vector<std::string> names;
	std::vector<MdWriteChannel> written;
	names.push_back(MD_SLOT_NAMES[MD_POSITION]);
	written.push_back({nullptr, MD_POSITION, MESH_MD_VALUE_VECTOR});
	for (py::ssize_t i = 0; i < v; ++i)
		std::memcpy(records[i].position, vertices.data(i, 0), 12);
	for (auto item : channels)
	{
		const std::string key = py::str(item.first);
		uint32_t slot = 0;
		while (slot < MD_SLOT_COUNT && key != MD_SLOT_NAMES[slot])
			++slot;
		if (slot == MD_SLOT_COUNT || slot == MD_POSITION)
			RaiseValue(".md channel '" + key + "' is not one of the named slots (or is the vertices)");
		const int first = MD_SLOT_FLOAT[slot];
		const int end = slot + 1 < MD_SLOT_COUNT ? MD_SLOT_FLOAT[slot + 1] : static_cast<int>(sizeof(MdVertex) / 4);
		const int width = end - first;
		auto a = width == 1 ? Contiguous<float>(item.second, key.c_str(), {v})
							: Contiguous<float>(item.second, key.c_str(), {v, width});
		for (py::ssize_t i = 0; i < v; ++i)
			std::memcpy(reinterpret_cast<float*>(&records[i]) + first, a.data() + i * width,
				static_cast<size_t>(width) * 4);
		names.push_back(key);
		written.push_back({nullptr, slot, width == 1 ? MESH_MD_VALUE_SCALAR : MESH_MD_VALUE_VECTOR});
	}
	for (size_t k = 0; k < written.size(); ++k)
		written[k].name = names[k].c_str();
	std::vector<MeshFace> face_records(faces.size() / 3);
	if (!face_records.empty())
		std::memcpy(face_records.data(), faces.data(), faces.size() * 4);
	errno = 0;
	if (!MdWrite(path.c_str(), name.c_str(), 1, written.data(), static_cast<int32_t>(written.size()), records.data(),
			static_cast<int32_t>(v), face_records.data(), static_cast<int32_t>(face_records.size())))
		RaiseWrite(path, errno ? errno : EIO);
}

void WriteMesh(const std::string& path, const py::object& vertices_in, const py::object& faces_in,
	const py::object& texture_in, const py::object& velocity_in, const py::object& weights_in,
	const std::string& format, const py::object& channels_in, const std::string& name)
{
	if (format != "bin" && format != "chunked" && format != "md")
		RaiseValue("unknown mesh format '" + format + "' (bin, chunked or md)");
	// Everything is checked before the file is created.
	const FloatArray vertices = Contiguous<float>(vertices_in, "vertices", {-1, 3});
	const py::ssize_t v = vertices.shape(0);
	if (v > INT32_MAX)
		RaiseValue("too many vertices");
	const std::vector<uint32_t> faces = CheckedFaces(faces_in, v);
	if (format == "md")
	{
		if (!texture_in.is_none() || !velocity_in.is_none() || !weights_in.is_none())
			RaiseValue(".md channels are given by name in 'channels'");
		WriteMd(path, vertices, faces, channels_in.is_none() ? py::dict() : channels_in.cast<py::dict>(), name);
		return;
	}
	if (!channels_in.is_none())
		RaiseValue("named channels are written to .md files only");
	const FloatArray texture = OptionalVectors(texture_in, "texture", v);
	const FloatArray velocity = OptionalVectors(velocity_in, "velocity", v);
	FloatArray weights;
	if (!weights_in.is_none())
	{
		weights = Contiguous<float>(weights_in, "weights", {v, -1});
		if (weights.shape(1) < 1 || weights.shape(1) > 255)
			RaiseValue("'weights' must have 1 to 255 columns");
		// Only the first W - 1 weights are stored; the last reads back as 1 minus their sum.
		for (py::ssize_t i = 0; i < v; ++i)
		{
			double sum = 0;
			for (py::ssize_t k = 0; k < weights.shape(1); ++k)
				sum += weights.at(i, k);
			if (!(std::fabs(sum - 1.0) <= 1e-4))
				RaiseValue("the weights of vertex " + std::to_string(i) + " sum to " + std::to_string(sum) +
					", not 1: the last weight is stored as 1 minus the others");
		}
	}
	WriteBinOrChunked(path, format, vertices, faces, texture, velocity, weights);
}

} // namespace

void BindMesh(py::module_& m)
{
	m.def("read_mesh", &ReadMesh, py::arg("path"), py::arg("percent") = 100.0f, py::arg("kind") = "",
		"Reads a mesh .bin, .md or chunked frame (kind 'bin', 'md' or 'chunked', else by the file's magic); "
		"percent keeps that share of the faces.");
	m.def("write_mesh", &WriteMesh, py::arg("path"), py::arg("vertices"), py::arg("faces"),
		py::arg("texture") = py::none(), py::arg("velocity") = py::none(), py::arg("weights") = py::none(),
		py::arg("format") = "bin", py::arg("channels") = py::none(), py::arg("name") = "",
		"Writes a mesh frame: format 'bin' (default) or 'chunked' with texture, velocity and weights, or 'md' "
		"with named channels.");
}
