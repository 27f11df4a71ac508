// particles.cpp - read_particles and write_particles: particle .bin, .tpc and .pxy frames as arrays.
#include "frame_object.h"
#include "particle_bin.h"
#include "particle_pxy.h"
#include "particle_tpc.h"
#include "frame_sequence.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace
{

// The channels of a particle .bin frame, by the names the format gives them.
enum BinValue
{
	BIN_F32,
	BIN_I32,
	BIN_I64,
	BIN_I16
};

struct BinChannel
{
	const char* name;
	int components;
	BinValue value;
};

constexpr BinChannel kBinChannels[] = {
	{"position", 3, BIN_F32}, {"velocity", 3, BIN_F32}, {"force", 3, BIN_F32}, {"vorticity", 3, BIN_F32},
	{"normal", 3, BIN_F32}, {"neighbors", 1, BIN_I32}, {"texture", 3, BIN_F32}, {"info_bits", 1, BIN_I16},
	{"age", 1, BIN_F32}, {"isolation", 1, BIN_F32}, {"viscosity", 1, BIN_F32}, {"density", 1, BIN_F32},
	{"pressure", 1, BIN_F32}, {"mass", 1, BIN_F32}, {"temperature", 1, BIN_F32}, {"id", 1, BIN_I64},
};
constexpr int kBinChannelCount = sizeof(kBinChannels) / sizeof(kBinChannels[0]);

void* BinChannelData(BinParticleFrame* f, int k)
{
	void* const data[kBinChannelCount] = {f->position, f->velocity, f->force, f->vorticity, f->normal, f->neighbors,
		f->texture, f->info_bits, f->age, f->isolation, f->viscosity, f->density, f->pressure, f->mass,
		f->temperature, f->id};
	return data[k];
}

py::dtype BinDtype(BinValue v)
{
	switch (v)
	{
	case BIN_I32:
		return py::dtype::of<int32_t>();
	case BIN_I64:
		return py::dtype::of<int64_t>();
	case BIN_I16:
		return py::dtype::of<int16_t>();
	default:
		return py::dtype::of<float>();
	}
}

py::list Triple(const float v[3])
{
	py::list l;
	for (int i = 0; i < 3; ++i)
		l.append(v[i]);
	return l;
}

py::dict BinHeaderDict(const BinParticleHeader& h)
{
	py::dict d;
	d["fluid_name"] = py::str(h.fluid_name);
	d["version"] = h.version;
	d["scale"] = h.scale;
	d["fluid_type"] = h.fluid_type;
	d["simulation_time_seconds"] = h.simulation_time_seconds;
	d["frame"] = h.frame;
	d["fps"] = h.fps;
	d["particle_count"] = h.particle_count;
	d["radius"] = h.radius;
	d["range1"] = Triple(h.range1);
	d["speed_range"] = Triple(h.speed_range);
	d["range3"] = Triple(h.range3);
	d["emitter_position"] = Triple(h.emitter_position);
	d["emitter_rotation"] = Triple(h.emitter_rotation);
	d["emitter_scale"] = Triple(h.emitter_scale);
	return d;
}

int64_t FileBytes(const std::string& path)
{
	FILE* f = std::fopen(path.c_str(), "rb");
	if (!f)
		return -1;
	std::fseek(f, 0, SEEK_END);
	const int64_t n = ftello(f);
	std::fclose(f);
	return n;
}

uint32_t FileMagic(const std::string& path)
{
	unsigned char b[4] = {};
	FILE* f = std::fopen(path.c_str(), "rb");
	if (!f)
		RaiseOpen("particle", path, errno);
	const size_t got = std::fread(b, 1, 4, f);
	std::fclose(f);
	if (got < 4)
		return 0;
	return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 | static_cast<uint32_t>(b[2]) << 16 |
		static_cast<uint32_t>(b[3]) << 24;
}

// Why a .bin read failed, from the header the reader keeps and the file's size.
std::string BinFailure(const BinParticleFrame* f, const std::string& path)
{
	const std::string label = FileLabel("particle", path);
	const int64_t size = FileBytes(path);
	if (size < PARTICLE_BIN_HEADER_BYTES)
		return "truncated " + label + " (" + std::to_string(size) + " bytes, shorter than its header)";
	const BinParticleHeader& h = f->header;
	if (h.version < PARTICLE_BIN_MIN_VERSION)
		return label + " has version " + std::to_string(h.version) + "; versions below 9 are not read";
	const int64_t room = (size - PARTICLE_BIN_HEADER_BYTES) / ParticleBinRecordBytes(h.version);
	if (h.particle_count < 0 || h.particle_count > room)
		return "damaged or truncated " + label + ": its header counts " + std::to_string(h.particle_count) +
			" particles, room for " + std::to_string(room);
	return "damaged or truncated " + label + " (or out of memory)";
}

void ReadBin(Frame& out, const std::string& path, float percent)
{
	BinParticleFrame* f = OpenParticleBin(path.c_str(), 0);
	if (!f)
		RaiseOpen("particle", path, errno);
	py::capsule owner(f, [](void* p) { FreeParticleBin(static_cast<BinParticleFrame*>(p)); });
	int ok;
	{
		py::gil_scoped_release unlocked;
		ok = ReadParticleBin(f, percent);
		CloseParticleBinFile(f);
	}
	if (!ok)
		RaiseValue(BinFailure(f, path));
	out.format = "bin";
	out.count = f->kept_count;
	out.header = BinHeaderDict(f->header);
	for (int k = 0; k < kBinChannelCount; ++k)
	{
		const BinChannel& c = kBinChannels[k];
		const py::dtype dt = BinDtype(c.value);
		const py::ssize_t item = dt.itemsize();
		if (c.components == 1)
			out.channels[c.name] = ViewArray(dt, {out.count}, {item}, BinChannelData(f, k), owner);
		else
			out.channels[c.name] =
				ViewArray(dt, {out.count, c.components}, {item * c.components, item}, BinChannelData(f, k), owner);
	}

}

py::dtype TpcDtype(int32_t type)
{
	switch (type)
	{
	case 2:
	case 10:
		return py::dtype::of<double>();
	case 4:
		return py::dtype::of<int64_t>();
	case 5:
		return py::dtype::of<uint16_t>();
	case 6:
		return py::dtype::of<uint8_t>();
	case 7:
		return py::dtype::of<int32_t>();
	case 8:
		return py::dtype::of<int8_t>();
	default:
		return py::dtype::of<float>();
	}
}

void ReadTpcFrame(Frame& out, const std::string& path, float percent)
{
	TpcParticleFrame* f = OpenTpc(path.c_str());
	if (!f)
		RaiseOpen("particle", path, errno);
	py::capsule owner(f, [](void* p) { FreeTpc(static_cast<TpcParticleFrame*>(p)); });
	int ok;
	{
		py::gil_scoped_release unlocked;
		ok = ReadTpc(f, percent);
		CloseTpcFile(f);
	}
	if (!ok)
	{
		if (f->magic == PARTICLE_TPC_MAGIC && f->version < PARTICLE_TPC_MIN_VERSION)
			RaiseValue(FileLabel("particle", path) + " has version " + std::to_string(f->version) +
				"; versions below 3 are not read");
		RaiseValue("damaged or truncated " + FileLabel("particle", path));
	}
	out.format = "tpc";
	out.count = f->kept_count;
	out.header["version"] = f->version;
	out.header["particle_count"] = f->particle_count;
	out.header["channel_count"] = f->channel_count;
	out.header["vector_a"] = Triple(f->vector_a);
	out.header["vector_b"] = Triple(f->vector_b);
	py::list names;
	for (int32_t k = 0; k < f->channel_count; ++k)
	{
		const TpcChannel& c = f->channels[k];
		names.append(py::str(c.name));
		// The first channel of a name is the one the library's accessors use.
		if (out.channels.contains(c.name))
			continue;
		const py::dtype dt = TpcDtype(c.type);
		const int32_t n = TpcComponents(c.type);
		const py::ssize_t item = dt.itemsize();
		if (n == 1)
			out.channels[c.name] = ViewArray(dt, {out.count}, {item}, c.data, owner);
		else
			out.channels[c.name] = ViewArray(dt, {out.count, n}, {item * n, item}, c.data, owner);
	}
	out.header["channels"] = names;
}

void ReadPxyFrame(Frame& out, const std::string& path, float percent)
{
	PxyParticleFrame* f = OpenPxy(path.c_str());
	if (!f)
		RaiseOpen("particle", path, errno);
	py::capsule owner(f, [](void* p) { FreePxy(static_cast<PxyParticleFrame*>(p)); });
	int ok;
	{
		py::gil_scoped_release unlocked;
		ok = ReadPxy(f, percent);
		ClosePxyFile(f);
	}
	if (!ok)
		RaiseValue("damaged or truncated " + FileLabel("particle", path));
	out.format = "pxy";
	out.count = f->kept_count;
	out.header["version"] = f->version;
	out.header["particle_count"] = f->particle_count;
	// The records are the arrays: strided views into them.
	constexpr py::ssize_t record = sizeof(PxyParticleRecord);
	const PxyParticleRecord* r = f->records;
	out.channels["id"] = View(r ? &r->id : nullptr, {out.count}, {record}, owner);
	out.channels["position"] = View(r ? r->position : nullptr, {out.count, 3}, {record, 4}, owner);
	out.channels["velocity"] = View(r ? r->velocity : nullptr, {out.count, 3}, {record, 4}, owner);

}

Frame ReadParticles(const std::string& path, float percent)
{
	Frame out;
	out.path = path;
	const uint32_t magic = FileMagic(path);
	if (magic == PARTICLE_BIN_MAGIC)
		ReadBin(out, path, percent);
	else if (magic == PARTICLE_TPC_MAGIC)
		ReadTpcFrame(out, path, percent);
	else if (HasExtension(path.c_str(), ".pxy"))
		ReadPxyFrame(out, path, percent);
	else
		RaiseValue(FileLabel("particle", path) + " is neither a .bin nor a .tpc file (wrong magic) nor named .pxy");
	return out;
}

template <typename T>
T HeaderValue(const py::dict& h, const char* key, T fallback)
{
	return h.contains(key) ? h[key].cast<T>() : fallback;
}

void HeaderTriple(const py::dict& h, const char* key, float out[3])
{
	if (!h.contains(key))
		return;
	auto a = Contiguous<float>(h[key], key, {3});
	std::memcpy(out, a.data(), 3 * sizeof(float));
}

void WriteParticles(const std::string& path, const py::object& channels_in, const py::object& header_in)
{
	// A frame from read_particles may be given whole: its arrays and, unless overridden, its header.
	py::object channels_obj = channels_in;
	py::dict header;
	if (py::isinstance<Frame>(channels_in))
	{
		const Frame& fr = channels_in.cast<const Frame&>();
		channels_obj = fr.channels;
		if (fr.format == "bin")
			header = fr.header;
	}
	if (!header_in.is_none())
		header = header_in.cast<py::dict>();
	const py::dict channels = channels_obj.cast<py::dict>();

	const int version = HeaderValue<int>(header, "version", 12);
	if (version < PARTICLE_BIN_MIN_VERSION || version > 12)
		RaiseValue("particle .bin version " + std::to_string(version) + " cannot be written (9 to 12 can)");
	// Everything is checked and converted before the file is created, so a bad argument leaves an
	// existing file as it was.
	// Converted arrays, kept alive here, and their data (null: the channel is not given).
	py::list keep;
	std::vector<const void*> data(kBinChannelCount, nullptr);
	py::ssize_t count = -1;
	for (auto item : channels)
	{
		const std::string name = py::str(item.first);
		int k = 0;
		while (k < kBinChannelCount && name != kBinChannels[k].name)
			++k;
		if (k == kBinChannelCount)
			RaiseValue("particle .bin files have no channel '" + name + "'");
		const BinChannel& c = kBinChannels[k];
		const std::vector<py::ssize_t> shape = c.components == 1 ? std::vector<py::ssize_t>{count}
																 : std::vector<py::ssize_t>{count, c.components};
		py::array a;
		switch (c.value)
		{
		case BIN_F32:
			a = Contiguous<float>(item.second, c.name, shape);
			break;
		case BIN_I32:
			a = Contiguous<int32_t>(item.second, c.name, shape);
			break;
		case BIN_I16:
			a = Contiguous<int16_t>(item.second, c.name, shape);
			break;
		case BIN_I64:
			a = Contiguous<int64_t>(item.second, c.name, shape);
			break;
		}
		if (count < 0)
			count = a.shape(0);
		else if (a.shape(0) != count)
			RaiseValue("channel '" + name + "' has " + std::to_string(a.shape(0)) + " particles, another " +
				std::to_string(count));
		keep.append(a);
		data[k] = a.data();
	}
	if (count < 0)
		count = 0;
	if (count > INT32_MAX)
		RaiseValue("a particle .bin file holds at most 2147483647 particles");
	// Before version 12 ids are 32-bit: one that does not fit would come back as another particle.
	if (version < 12 && data[kBinChannelCount - 1])
	{
		const int64_t* id = static_cast<const int64_t*>(data[kBinChannelCount - 1]);
		for (py::ssize_t i = 0; i < count; ++i)
			if (id[i] < INT32_MIN || id[i] > INT32_MAX)
				RaiseValue("id " + std::to_string(id[i]) + " does not fit the 32-bit ids of version " +
					std::to_string(version) + "; write version 12");
	}
	const std::string fluid_name = HeaderValue<std::string>(header, "fluid_name", "");

	BinParticleFrame* f = OpenParticleBin(path.c_str(), 1);
	if (!f)
		RaiseOpen("particle", path, errno);
	std::unique_ptr<BinParticleFrame, void (*)(BinParticleFrame*)> guard(f, FreeParticleBin);
	BinParticleHeader& h = f->header;
	h.magic = PARTICLE_BIN_MAGIC;
	h.version = static_cast<int16_t>(version);
	h.scale = HeaderValue<float>(header, "scale", 1.0f);
	h.fluid_type = HeaderValue<int32_t>(header, "fluid_type", 0);
	h.simulation_time_seconds = HeaderValue<float>(header, "simulation_time_seconds", 0.0f);
	h.frame = HeaderValue<int32_t>(header, "frame", 0);
	h.fps = HeaderValue<int32_t>(header, "fps", 25);
	h.radius = HeaderValue<float>(header, "radius", 0.0f);
	HeaderTriple(header, "range1", h.range1);
	HeaderTriple(header, "speed_range", h.speed_range);
	HeaderTriple(header, "range3", h.range3);
	HeaderTriple(header, "emitter_position", h.emitter_position);
	HeaderTriple(header, "emitter_rotation", h.emitter_rotation);
	HeaderTriple(header, "emitter_scale", h.emitter_scale);
	SetParticleBinName(f, fluid_name.c_str());
	h.particle_count = static_cast<int32_t>(count);
	int ok;
	{
		py::gil_scoped_release unlocked;
		ok = AllocateChannelsUnfilled(f, h.particle_count);
		for (int k = 0; ok && k < kBinChannelCount; ++k)
		{
			const BinChannel& c = kBinChannels[k];
			const size_t bytes =
				static_cast<size_t>(count) * c.components * (c.value == BIN_I64 ? 8 : c.value == BIN_I16 ? 2 : 4);
			if (bytes == 0)
				continue;
			if (data[k])
				std::memcpy(BinChannelData(f, k), data[k], bytes);
			else
				std::memset(BinChannelData(f, k), 0, bytes);
		}
		ok = ok && WriteParticleBin(f);
	}
	const int error_number = errno;
	if (!ok)
	{
		CloseParticleBinFile(f);
		std::remove(path.c_str());
		py::object error = py::module_::import("builtins").attr("OSError")(error_number,
			"could not write " + FileLabel("particle", path) + ": " + std::strerror(error_number), path);
		PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(error.ptr())), error.ptr());
		throw py::error_already_set();
	}
}

} // namespace

void BindParticles(py::module_& m)
{
	py::class_<Frame>(m, "Frame", "One frame read from a cache file: its header and one array per channel.")
		.def_readonly("path", &Frame::path)
		.def_readonly("format", &Frame::format)
		.def_readonly("count", &Frame::count)
		.def_readonly("header", &Frame::header)
		.def_readonly("channels", &Frame::channels)
		.def("__len__", [](const Frame& f) { return f.count; })
		.def("__contains__", [](const Frame& f, const std::string& name) { return f.channels.contains(name); })
		.def("__getitem__",
			[](const Frame& f, const std::string& name) -> py::object {
				if (!f.channels.contains(name))
					throw py::key_error("no channel '" + name + "' in " + f.path);
				return f.channels[name.c_str()];
			})
		.def("keys", [](const Frame& f) { return f.channels.attr("keys")(); })
		.def("__repr__", [](const Frame& f) {
			return "<twcache.Frame " + f.format + " '" + f.path + "' count=" + std::to_string(f.count) + ">";
		});
	m.def("read_particles", &ReadParticles, py::arg("path"), py::arg("percent") = 100.0f,
		"Reads a particle .bin, .tpc or .pxy frame; percent keeps that share of the particles.");
	m.def("write_particles", &WriteParticles, py::arg("path"), py::arg("channels"), py::arg("header") = py::none(),
		"Writes a particle .bin frame (header['version'] 9 to 12, default 12) from a dict of channel arrays "
		"or a frame read before.");
}
