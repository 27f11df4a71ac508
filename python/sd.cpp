// sd.cpp - open_sd and write_sd: SD scene files, their objects, frames and camera.
#include "twcache_py.h"
#include "sd_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace
{

using FloatArray = py::array_t<float, py::array::c_style | py::array::forcecast>;

py::array_t<float> CopyFloats(const float* data, std::vector<py::ssize_t> shape)
{
	py::array_t<float> a(shape);
	if (a.size() > 0)
		std::memcpy(a.mutable_data(), data, static_cast<size_t>(a.size()) * sizeof(float));
	return a;
}

[[noreturn]] void RaiseDamaged(const std::string& path, const std::string& what)
{
	RaiseValue("damaged or truncated " + FileLabel("SD", path) + ": " + what);
}

struct Scene
{
	std::string path;
	std::unique_ptr<SdSceneReader, void (*)(SdSceneReader*)> reader{nullptr, SdSceneFree};
	py::dict header;
	py::list objects;
	py::object camera = py::none();
};

// Rest geometry of every object: the scene reader skips it, so it is read by the record transfers.
void ReadGeometry(Scene& s)
{
	SdFile* file = SdOpen(s.path.c_str(), false);
	if (!file)
		RaiseOpen("SD", s.path, errno);
	std::unique_ptr<SdFile, int (*)(SdFile*)> guard(file, SdClose);
	if (!SdReadHeader(file))
		RaiseDamaged(s.path, "header");
	for (int32_t k = 0; k < file->object_count; ++k)
	{
		SdObjectDescriptor& d = file->descriptor;
		if (!SdReadObjectDescriptor(file, &d))
			RaiseDamaged(s.path, "descriptor of object " + std::to_string(k));
		py::array_t<float> vertices({static_cast<py::ssize_t>(d.vertex_count), py::ssize_t(3)});
		if (!SdReadVertices(file, vertices.mutable_data(), d.vertex_count))
			RaiseDamaged(s.path, "rest positions of object " + std::to_string(k));
		py::array_t<int32_t> triangles({static_cast<py::ssize_t>(d.triangle_count), py::ssize_t(3)});
		py::array_t<float> uvw({static_cast<py::ssize_t>(d.triangle_count), py::ssize_t(9)});
		for (int32_t t = 0; t < d.triangle_count; ++t)
		{
			if (!SdReadFace(file))
				RaiseDamaged(s.path, "faces of object " + std::to_string(k));
			std::memcpy(triangles.mutable_data(t, 0), file->face.corners, sizeof(file->face.corners));
			std::memcpy(uvw.mutable_data(t, 0), file->face.uvw, sizeof(file->face.uvw));
		}
		py::dict o;
		o["name"] = py::str(d.name ? d.name : "");
		o["type"] = d.type == SD_OBJECT_DEFORMING ? "deforming" : "rigid";
		o["texture"] = py::str(d.texture ? d.texture : "");
		o["vertices"] = vertices;
		o["triangles"] = triangles;
		o["uvw"] = uvw;
		s.objects.append(o);
	}
}

std::unique_ptr<Scene> OpenSd(const std::string& path)
{
	auto s = std::make_unique<Scene>();
	s->path = path;
	FILE* probe = std::fopen(path.c_str(), "rb");
	if (!probe)
		RaiseOpen("SD", path, errno);
	std::fclose(probe);
	s->reader.reset(SdSceneOpen(path.c_str()));
	SdSceneReader* r = s->reader.get();
	if (!r)
		RaiseDamaged(path, "a count or size in the header or a descriptor does not fit the file");
	SdFile* file = r->file;
	// The scene reader leaves the stream after the last geometry block: the camera descriptor is next.
	if (file->has_camera)
	{
		if (!SdReadCameraDescriptor(file))
			RaiseDamaged(path, "camera descriptor");
		py::dict c;
		c["fov"] = file->camera.fov;
		c["near_clip"] = file->camera.near_clip;
		c["far_clip"] = file->camera.far_clip;
		c["up"] = CopyFloats(file->camera.up, {3});
		s->camera = c;
	}
	SdCloseStream(file);
	s->header["title"] = py::str(file->title);
	s->header["version"] = file->version;
	s->header["has_camera"] = file->has_camera != 0;
	s->header["axis_setup"] = file->axis_setup;
	s->header["object_count"] = file->object_count;
	s->header["first_frame"] = file->first_frame;
	s->header["last_frame"] = file->last_frame;
	ReadGeometry(*s);
	return s;
}

py::dict SceneFrame(Scene& s, int32_t frame)
{
	SdSceneReader* r = s.reader.get();
	const int ok = SdSceneReadFrame(r, frame);
	if (ok && !r->valid)
		throw py::index_error("frame " + std::to_string(frame) + " is outside " + std::to_string(r->file->first_frame) +
			".." + std::to_string(r->file->last_frame) + " of '" + s.path + "'");
	if (!ok)
		RaiseDamaged(s.path, "frame " + std::to_string(frame) + " is not wholly in the file");
	py::dict out;
	out["frame"] = r->file->frame_number;
	py::list objects;
	for (int32_t k = 0; k < r->file->object_count; ++k)
	{
		const SdObjectFrame& f = r->frames[k];
		py::dict o;
		o["name"] = py::str(f.name ? f.name : "");
		o["transform"] = CopyFloats(f.transform, {4, 3});
		o["position"] = CopyFloats(f.vectors[SD_VECTOR_POSITION], {3});
		o["rotation"] = CopyFloats(f.vectors[SD_VECTOR_ROTATION], {3});
		o["scale"] = CopyFloats(f.vectors[SD_VECTOR_SCALE], {3});
		// Copied: the reader's buffers hold the next frame after the next call.
		o["vertices"] = r->vertices[k] ? py::object(CopyFloats(r->vertices[k], {r->descriptors[k].vertex_count, 3}))
									   : py::object(py::none());
		objects.append(o);
	}
	out["objects"] = objects;
	if (r->file->has_camera)
	{
		const SdCameraFrame& c = r->file->camera_frame;
		py::dict cam;
		cam["matrix"] = CopyFloats(c.matrix, {4, 4});
		cam["position"] = CopyFloats(c.position, {3});
		cam["target"] = CopyFloats(c.target, {3});
		cam["up"] = CopyFloats(c.up, {3});
		cam["roll"] = c.roll;
		out["camera"] = cam;
	}
	else
		out["camera"] = py::none();
	return out;
}

// What write_sd takes, converted and checked before the file is created.
struct ObjectIn
{
	std::string name, texture;
	uint8_t type = SD_OBJECT_RIGID;
	FloatArray vertices, uvw;
	py::array_t<int32_t, py::array::c_style | py::array::forcecast> triangles;
};

struct ObjectFrameIn
{
	FloatArray transform, position, rotation, scale, vertices;
};

struct CameraFrameIn
{
	FloatArray matrix, position, target, up;
	float roll = 0;
};

py::object Get(const py::dict& d, const char* key)
{
	return d.contains(key) ? py::object(d[key]) : py::object(py::none());
}

FloatArray FloatsOr(const py::dict& d, const char* key, std::vector<py::ssize_t> shape, std::vector<float> fallback)
{
	py::object v = Get(d, key);
	if (v.is_none())
	{
		if (fallback.empty())
			RaiseValue(std::string("'") + key + "' is missing");
		FloatArray a(shape);
		std::memcpy(a.mutable_data(), fallback.data(), fallback.size() * sizeof(float));
		return a;
	}
	return Contiguous<float>(v, key, shape);
}

void WriteSd(const std::string& path, const py::list& objects_in, const py::list& frames_in, const py::object& camera_in,
	int32_t first_frame, const std::string& title)
{
	std::vector<ObjectIn> objects;
	for (py::handle h : objects_in)
	{
		const py::dict d = h.cast<py::dict>();
		ObjectIn o;
		o.name = Get(d, "name").is_none() ? "" : d["name"].cast<std::string>();
		if (o.name.empty())
			RaiseValue("every SD object needs a name: objects are found by it");
		o.texture = Get(d, "texture").is_none() ? "" : d["texture"].cast<std::string>();
		const py::object type = Get(d, "type");
		if (!type.is_none())
		{
			const std::string t = py::str(type);
			if (t == "deforming" || t == "1")
				o.type = SD_OBJECT_DEFORMING;
			else if (t != "rigid" && t != "0")
				RaiseValue("object '" + o.name + "': type is 'rigid' or 'deforming'");
		}
		o.vertices = Contiguous<float>(Get(d, "vertices").is_none() ? py::object(py::array_t<float>(std::vector<py::ssize_t>{0, 3})) : py::object(d["vertices"]),
			"vertices", {-1, 3});
		o.triangles = Contiguous<int32_t>(
			Get(d, "triangles").is_none() ? py::object(py::array_t<int32_t>(std::vector<py::ssize_t>{0, 3})) : py::object(d["triangles"]), "triangles", {-1, 3});
		const py::ssize_t t = o.triangles.shape(0);
		for (py::ssize_t i = 0; i < o.triangles.size(); ++i)
			if (o.triangles.data()[i] < 0 || o.triangles.data()[i] >= o.vertices.shape(0))
				RaiseValue("object '" + o.name + "': a triangle corner is not below its vertex count");
		o.uvw = Get(d, "uvw").is_none() ? FloatArray({t, py::ssize_t(9)}) : Contiguous<float>(d["uvw"], "uvw", {t, 9});
		if (Get(d, "uvw").is_none() && t > 0)
			std::memset(o.uvw.mutable_data(), 0, static_cast<size_t>(t) * 9 * sizeof(float));
		objects.push_back(std::move(o));
	}
	const bool has_camera = !camera_in.is_none();
	py::dict camera = has_camera ? camera_in.cast<py::dict>() : py::dict();
	std::vector<std::vector<ObjectFrameIn>> frames;
	std::vector<CameraFrameIn> camera_frames;
	for (py::handle h : frames_in)
	{
		const py::dict fd = h.cast<py::dict>();
		const py::list ol = Get(fd, "objects").is_none() ? py::list() : fd["objects"].cast<py::list>();
		if (ol.size() != objects.size())
			RaiseValue("frame " + std::to_string(frames.size()) + " has " + std::to_string(ol.size()) +
				" object records for " + std::to_string(objects.size()) + " objects");
		std::vector<ObjectFrameIn> records;
		for (size_t k = 0; k < objects.size(); ++k)
		{
			const py::dict od = ol[k].cast<py::dict>();
			ObjectFrameIn r;
			r.transform = FloatsOr(od, "transform", {4, 3}, {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0});
			r.position = FloatsOr(od, "position", {3}, {0, 0, 0});
			r.rotation = FloatsOr(od, "rotation", {3}, {0, 0, 0});
			r.scale = FloatsOr(od, "scale", {3}, {1, 1, 1});
			if (objects[k].type == SD_OBJECT_DEFORMING)
				r.vertices = FloatsOr(od, "vertices", {objects[k].vertices.shape(0), 3}, {});
			records.push_back(std::move(r));
		}
		frames.push_back(std::move(records));
		if (has_camera)
		{
			if (Get(fd, "camera").is_none())
				RaiseValue("frame " + std::to_string(camera_frames.size()) + " has no camera record");
			const py::dict cd = fd["camera"].cast<py::dict>();
			CameraFrameIn c;
			c.matrix = FloatsOr(cd, "matrix", {4, 4}, {});
			c.position = FloatsOr(cd, "position", {3}, {});
			c.target = FloatsOr(cd, "target", {3}, {});
			c.up = FloatsOr(cd, "up", {3}, {});
			c.roll = Get(cd, "roll").is_none() ? 0.0f : cd["roll"].cast<float>();
			camera_frames.push_back(std::move(c));
		}
	}
	if (frames.empty())
		RaiseValue("an SD file holds at least one frame");
	const FloatArray camera_up = has_camera ? FloatsOr(camera, "up", {3}, {0, 1, 0}) : FloatArray();

	SdFile* file = SdOpen(path.c_str(), true);
	if (!file)
		RaiseOpen("SD", path, errno);
	std::vector<SdObjectDescriptor> descriptors(objects.size());
	bool ok = true;
	for (size_t k = 0; k < objects.size(); ++k)
	{
		SdObjectDescriptor& d = descriptors[k];
		std::memset(&d, 0, sizeof(d));
		d.type = objects[k].type;
		ok = ok && SdDescriptorSetName(&d, objects[k].name.c_str()) && SdDescriptorSetTexture(&d, objects[k].texture.c_str());
		d.vertex_count = static_cast<int32_t>(objects[k].vertices.shape(0));
		d.triangle_count = static_cast<int32_t>(objects[k].triangles.shape(0));
		SdDescriptorSetSizes(&d);
	}
	const int32_t n = static_cast<int32_t>(objects.size());
	const int64_t first_offset = SdFirstFrameOffset(descriptors.data(), n, has_camera);
	const int64_t frame_bytes = SdFrameBytes(descriptors.data(), n, has_camera);
	SdSetTitle(file, title.c_str());
	file->version = SD_VERSION;
	file->header_size = static_cast<int32_t>(first_offset);
	file->frame_size = static_cast<int32_t>(frame_bytes);
	file->has_camera = has_camera ? 1 : 0;
	file->axis_setup = SD_AXIS_SETUP;
	file->object_count = n;
	file->first_frame = first_frame;
	file->last_frame = first_frame + static_cast<int32_t>(frames.size()) - 1;
	ok = ok && first_offset >= 0 && frame_bytes >= 0 && SdWriteHeader(file);
	auto describe = [&](size_t k) {
		SdObjectDescriptor& d = file->descriptor;
		d.type = descriptors[k].type;
		d.vertex_count = descriptors[k].vertex_count;
		d.triangle_count = descriptors[k].triangle_count;
		return SdDescriptorSetName(&d, objects[k].name.c_str()) && SdDescriptorSetTexture(&d, objects[k].texture.c_str());
	};
	for (size_t k = 0; ok && k < objects.size(); ++k)
	{
		const ObjectIn& o = objects[k];
		ok = describe(k) && SdWriteObjectDescriptor(file) &&
			SdWriteVertices(file, o.vertices.data(), o.vertices.shape(0));
		for (py::ssize_t t = 0; ok && t < o.triangles.shape(0); ++t)
		{
			std::memcpy(file->face.corners, o.triangles.data(t, 0), sizeof(file->face.corners));
			std::memcpy(file->face.uvw, o.uvw.data(t, 0), sizeof(file->face.uvw));
			file->face.edge_values[0] = file->face.edge_values[1] = file->face.edge_values[2] = 1;
			file->face.face_value = 1;
			ok = SdWriteFace(file);
		}
	}
	if (ok && has_camera)
	{
		file->camera.fov = Get(camera, "fov").is_none() ? 0.8f : camera["fov"].cast<float>();
		file->camera.near_clip = Get(camera, "near_clip").is_none() ? 0.01f : camera["near_clip"].cast<float>();
		file->camera.far_clip = Get(camera, "far_clip").is_none() ? 10000.0f : camera["far_clip"].cast<float>();
		std::memcpy(file->camera.up, camera_up.data(), sizeof(file->camera.up));
		ok = SdWriteCameraDescriptor(file);
	}
	for (size_t i = 0; ok && i < frames.size(); ++i)
	{
		file->frame_number = first_frame + static_cast<int32_t>(i);
		ok = SdWriteFrameNumber(file);
		for (size_t k = 0; ok && k < objects.size(); ++k)
		{
			const ObjectFrameIn& r = frames[i][k];
			SdObjectFrame& f = file->object_frame;
			std::memcpy(f.transform, r.transform.data(), sizeof(f.transform));
			std::memset(f.vectors, 0, sizeof(f.vectors));
			std::memset(f.double_vectors, 0, sizeof(f.double_vectors));
			std::memcpy(f.vectors[SD_VECTOR_POSITION], r.position.data(), 12);
			std::memcpy(f.vectors[SD_VECTOR_ROTATION], r.rotation.data(), 12);
			std::memcpy(f.vectors[SD_VECTOR_SCALE], r.scale.data(), 12);
			ok = describe(k) && SdWriteObjectFrame(file);
			if (ok && objects[k].type == SD_OBJECT_DEFORMING)
				ok = SdWriteVertices(file, r.vertices.data(), r.vertices.shape(0));
		}
		if (ok && has_camera)
		{
			const CameraFrameIn& c = camera_frames[i];
			SdCameraFrame& f = file->camera_frame;
			std::memcpy(f.matrix, c.matrix.data(), sizeof(f.matrix));
			std::memcpy(f.position, c.position.data(), 12);
			std::memcpy(f.target, c.target.data(), 12);
			std::memcpy(f.up, c.up.data(), 12);
			f.roll = c.roll;
			ok = SdWriteCameraFrame(file);
		}
	}
	for (SdObjectDescriptor& d : descriptors)
		SdDescriptorFreeBuffers(&d);
	const int error_number = errno;
	if (SdClose(file) != 1)
		ok = false;
	if (!ok)
	{
		std::remove(path.c_str());
		py::object error = py::module_::import("builtins").attr("OSError")(error_number,
			"could not write " + FileLabel("SD", path) + ": " + std::strerror(error_number), path);
		PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(error.ptr())), error.ptr());
		throw py::error_already_set();
	}
}

} // namespace

void BindSd(py::module_& m)
{
	py::class_<Scene>(m, "SdScene", "An open SD scene: header, objects with their rest geometry, camera, frames.")
		.def_readonly("path", &Scene::path)
		.def_readonly("header", &Scene::header)
		.def_readonly("objects", &Scene::objects)
		.def_readonly("camera", &Scene::camera)
		.def_property_readonly("first_frame", [](const Scene& s) { return s.reader->file->first_frame; })
		.def_property_readonly("last_frame", [](const Scene& s) { return s.reader->file->last_frame; })
		.def("frame", &SceneFrame, py::arg("frame"),
			"Each object's transform, vectors and (deforming objects) vertices, and the camera record, of a frame.")
		.def("__repr__", [](const Scene& s) {
			return "<twcache.SdScene '" + s.path + "' objects=" + std::to_string(py::len(s.objects)) + ">";
		});
	m.def("open_sd", &OpenSd, py::arg("path"), "Opens an SD scene file.");
	m.def("write_sd", &WriteSd, py::arg("path"), py::arg("objects"), py::arg("frames"), py::arg("camera") = py::none(),
		py::arg("first_frame") = 0, py::arg("title") = "",
		"Writes an SD scene: objects as open_sd gives them, one dict per frame as SdScene.frame gives it.");
}
