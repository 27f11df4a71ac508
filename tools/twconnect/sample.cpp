// sample.cpp - twconnect sample: procedural cache sequences written with the project's writers.
#include "cli.h"

#include "particle_bin.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>


#include "sample_md.h"
#include "sample_mesh.h"
#include "sample_pxy.h"
#include "sample_sd.h"
#include "sample_tpc.h"

namespace
{

// Deterministic per-particle noise in [0, 1).
float Hash01(uint32_t i, uint32_t salt)
{
	uint32_t h = i * 0x9E3779B1u ^ (salt * 0x85EBCA77u);
	h ^= h >> 15;
	h *= 0x2C1B3C6Du;
	h ^= h >> 12;
	h *= 0x297A2D39u;
	h ^= h >> 15;
	return static_cast<float>(h >> 8) / 16777216.0f;
}

void Stats(float* range, float value, int32_t i)
{
	if (i == 0)
	{
		range[0] = range[1] = range[2] = value;
		return;
	}
	if (value < range[0])
		range[0] = value;
	if (value > range[1])
		range[1] = value;
	range[2] += value;
}

// A fountain: particles leave a nozzle at the origin in a cone, fall under gravity and bounce
// once on the ground; each is re-emitted when its lifetime runs out. Metres and seconds.
void FillFountainFrame(BinParticleFrame* f, int32_t frame, int32_t count, int32_t fps)
{
	const float gravity = -9.81f;
	const float lifetime = 2.5f;
	const float time = static_cast<float>(frame) / static_cast<float>(fps);
	BinParticleHeader& h = f->header;
	for (int32_t i = 0; i < count; ++i)
	{
		const uint32_t u = static_cast<uint32_t>(i);
		const float birth = Hash01(u, 1) * lifetime;
		float age = std::fmod(time - birth + 100.0f * lifetime, lifetime);
		const float angle = Hash01(u, 2) * 6.2831853f;
		const float spread = 0.15f + 0.25f * Hash01(u, 3);
		const float speed0 = 5.0f + 2.0f * Hash01(u, 4);
		float v0[3] = {speed0 * spread * std::cos(angle), speed0, speed0 * spread * std::sin(angle)};
		float p[3] = {v0[0] * age, v0[1] * age + 0.5f * gravity * age * age, v0[2] * age};
		float v[3] = {v0[0], v0[1] + gravity * age, v0[2]};
		int16_t info = 0;
		if (p[1] < 0.0f)
		{
			// on the ground: slide outwards, slowed
			p[1] = 0.0f;
			v[0] *= 0.4f;
			v[1] = 0.0f;
			v[2] *= 0.4f;
			info = 1;
		}
		const float mass = 0.001f * (0.8f + 0.4f * Hash01(u, 5));
		const float speed = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
		const float density = 998.0f + 4.0f * Hash01(u, 6) + (info ? 2.0f : 0.0f);
		const float temperature = 20.0f - 2.0f * age / lifetime;
		for (int c = 0; c < 3; ++c)
		{
			f->position[3 * i + c] = p[c];
			f->velocity[3 * i + c] = v[c];
			f->force[3 * i + c] = c == 1 ? mass * gravity : 0.0f;
			f->normal[3 * i + c] = speed > 0.0f ? v[c] / speed : (c == 1 ? 1.0f : 0.0f);
		}
		// a swirl about the fountain's axis
		f->vorticity[3 * i + 0] = -p[2] * 0.5f;
		f->vorticity[3 * i + 1] = 0.1f * std::sin(angle + time);
		f->vorticity[3 * i + 2] = p[0] * 0.5f;
		f->texture[3 * i + 0] = angle / 6.2831853f;
		f->texture[3 * i + 1] = age / lifetime;
		f->texture[3 * i + 2] = spread;
		f->neighbors[i] = 4 + static_cast<int32_t>(Hash01(u, 7) * 20.0f) + (info ? 8 : 0);
		f->info_bits[i] = info;
		f->age[i] = age;
		f->isolation[i] = 1.0f / static_cast<float>(f->neighbors[i]);
		f->viscosity[i] = 1.0f;
		f->density[i] = density;
		f->pressure[i] = 101325.0f + (density - 998.0f) * 1000.0f;
		f->mass[i] = mass;
		f->temperature[i] = temperature;
		// file IDs start at 1; matching by ID relies on it
		f->id[i] = i + 1;
		Stats(h.range1, density, i);
		Stats(h.speed_range, speed, i);
		Stats(h.range3, temperature, i);
	}
	if (count > 0)
	{
		h.range1[2] /= static_cast<float>(count);
		h.speed_range[2] /= static_cast<float>(count);
		h.range3[2] /= static_cast<float>(count);
	}
}

struct ParticleOptions
{
	std::string dir, name = "splash";
	long long start = 0, end = 24, count = 10000, version = 12, padding = 5;
};

int SampleParticles(const ParticleOptions& o)
{
	const std::string& dir = o.dir;
	const std::string& name = o.name;
	const long long start = o.start, end = o.end, count = o.count, version = o.version, padding = o.padding;
	if (end < start)
		return CliBadArgument("sample particles: --end %lld is before --start %lld", end, start);
	if (!MakeFolder(dir))
		return CliError("cannot create folder '%s': %s", dir.c_str(), std::strerror(errno));

	const int32_t fps = 25;
	for (long long frame = start; frame <= end; ++frame)
	{
		char file[64];
		std::snprintf(file, sizeof(file), "_%0*lld.bin", static_cast<int>(padding), frame);
		const std::string path = dir + "/" + name + file;
		BinParticleFrame* f = OpenParticleBin(path.c_str(), 1);
		if (!f)
			return CliError("cannot write '%s': %s", path.c_str(), std::strerror(errno));
		BinParticleHeader& h = f->header;
		h.magic = PARTICLE_BIN_MAGIC;
		SetParticleBinName(f, name.c_str());
		h.version = static_cast<int16_t>(version);
		h.scale = 1.0f;
		h.fluid_type = 5;
		h.frame = static_cast<int32_t>(frame);
		h.fps = fps;
		h.simulation_time_seconds = static_cast<float>(frame) / static_cast<float>(fps);
		h.particle_count = static_cast<int32_t>(count);
		h.radius = 0.02f;
		h.emitter_scale[0] = h.emitter_scale[1] = h.emitter_scale[2] = 1.0f;
		if (!AllocateChannels(f, static_cast<int32_t>(count)))
		{
			FreeParticleBin(f);
			return CliError("sample particles: out of memory for %lld particles", count);
		}
		FillFountainFrame(f, static_cast<int32_t>(frame), static_cast<int32_t>(count), fps);
		const int ok = WriteParticleBin(f);
		FreeParticleBin(f);
		if (!ok)
			return CliError("cannot write '%s': write failed", path.c_str());
	}
	std::printf("wrote %lld frames of %lld particles to %s/%s_%0*lld.bin .. %s_%0*lld.bin\n", end - start + 1, count,
		dir.c_str(), name.c_str(), static_cast<int>(padding), start, name.c_str(), static_cast<int>(padding), end);
	return 0;
}

CommandRun SampleParticlesCommand(CLI::App& app)
{
	auto o = std::make_shared<ParticleOptions>();
	app.add_option("DIR", o->dir, "folder the frames go to (made when missing)")->required()->check(NonEmpty());
	app.add_option("--start", o->start, "first frame")->transform(Integer(0, 9999999));
	app.add_option("--end", o->end, "last frame")->transform(Integer(0, 9999999));
	app.add_option("--count", o->count, "particles per frame")->transform(Integer(0, 100000000));
	app.add_option("--version", o->version, "file version, 9 or 12")
		->transform(Integer(9, 12).description(""))
		->check(CLI::IsMember({9, 12}));
	app.add_option("--name", o->name, "sequence and fluid name")
		->check(SequenceName());
	app.add_option("--padding", o->padding, "digits of the frame number")->transform(Integer(1, 9));
	return [o] { return SampleParticles(*o); };
}

struct MeshOptions
{
	std::string dir;
	long long start = 0, end = 24, weights = 3;
	SampleMeshLayout layout = SampleMeshLayout::Bin;
};

int SampleMesh(const MeshOptions& o)
{
	const char* kind = o.layout == SampleMeshLayout::Chunked ? "chunked" : "mesh";
	if (o.end < o.start)
		return CliBadArgument("sample %s: --end %lld is before --start %lld", kind, o.end, o.start);
	if (!MakeFolder(o.dir))
		return CliError("cannot create folder '%s': %s", o.dir.c_str(), std::strerror(errno));
	std::string error;
	if (!WriteSampleMesh(o.dir.c_str(), static_cast<int>(o.start), static_cast<int>(o.end), static_cast<int>(o.weights),
			error, o.layout))
		return CliError("sample %s: %s", kind, error.c_str());
	std::printf("wrote %lld %s frames to %s\n", o.end - o.start + 1,
		o.layout == SampleMeshLayout::Chunked ? "chunked mesh" : "mesh",
		SampleMeshPath(o.dir.c_str(), static_cast<int>(o.start)).c_str());
	return 0;
}

// The folder and frame range every mesh kind takes.
void AddMeshFrameOptions(CLI::App& app, std::string& dir, long long& start, long long& end)
{
	app.add_option("DIR", dir, "folder the frames go to (made when missing)")->required()->check(NonEmpty());
	app.add_option("--start", start, "first frame")->transform(Integer(0, 99999));
	app.add_option("--end", end, "last frame")->transform(Integer(0, 99999));
}

CommandRun MeshCommand(CLI::App& app, SampleMeshLayout layout)
{
	auto o = std::make_shared<MeshOptions>();
	o->layout = layout;
	AddMeshFrameOptions(app, o->dir, o->start, o->end);
	// the writer stores all weights but the last, which readers derive: one alone is nothing to store
	app.add_option("--weights", o->weights, "weights per vertex, 2 or 3")
		->transform(Integer(2, 3).description(""))
		->check(CLI::IsMember({2, 3}));
	return [o] { return SampleMesh(*o); };
}

CommandRun SampleMeshCommand(CLI::App& app)
{
	return MeshCommand(app, SampleMeshLayout::Bin);
}

CommandRun SampleChunkedCommand(CLI::App& app)
{
	app.footer("The frames are named .bin, as the Mesh Importer takes only .bin and .md files; play them with\n"
			   "'twconnect play --mesh-type chunked'.");
	return MeshCommand(app, SampleMeshLayout::Chunked);
}

struct MdOptions
{
	std::string dir;
	long long start = 0, end = 24;
};

CommandRun SampleMdCommand(CLI::App& app)
{
	auto o = std::make_shared<MdOptions>();
	AddMeshFrameOptions(app, o->dir, o->start, o->end);
	return [o] {
		if (o->end < o->start)
			return CliBadArgument("sample md: --end %lld is before --start %lld", o->end, o->start);
		if (!MakeFolder(o->dir))
			return CliError("cannot create folder '%s': %s", o->dir.c_str(), std::strerror(errno));
		std::string error;
		if (!WriteSampleMd(o->dir.c_str(), static_cast<int>(o->start), static_cast<int>(o->end), error))
			return CliError("sample md: %s", error.c_str());
		std::printf("wrote %lld .md frames to %s\n", o->end - o->start + 1,
			SampleMeshPath(o->dir.c_str(), static_cast<int>(o->start), ".md").c_str());
		return 0;
	};
}

struct TpcOptions
{
	std::string dir, name = "cloud";
	long long start = 0, end = 24, count = 10000, padding = 5;
};

int SampleTpc(const TpcOptions& o)
{
	if (o.end < o.start)
		return CliBadArgument("sample tpc: --end %lld is before --start %lld", o.end, o.start);
	if (!MakeFolder(o.dir))
		return CliError("cannot create folder '%s': %s", o.dir.c_str(), std::strerror(errno));
	for (long long frame = o.start; frame <= o.end; ++frame)
	{
		std::string error;
		const std::string path = SampleTpcPath(o.dir, o.name, frame, static_cast<int>(o.padding));
		if (!WriteSampleTpc(path, static_cast<int32_t>(frame), static_cast<int32_t>(o.count), error))
			return CliError("sample tpc: %s", error.c_str());
	}
	std::printf("wrote %lld .tpc frames of %lld particles to %s\n", o.end - o.start + 1, o.count,
		SampleTpcPath(o.dir, o.name, o.start, static_cast<int>(o.padding)).c_str());
	return 0;
}

CommandRun SampleTpcCommand(CLI::App& app)
{
	auto o = std::make_shared<TpcOptions>();
	app.add_option("DIR", o->dir, "folder the frames go to (made when missing)")->required()->check(NonEmpty());
	app.add_option("--start", o->start, "first frame")->transform(Integer(0, 99999));
	app.add_option("--end", o->end, "last frame")->transform(Integer(0, 99999));
	app.add_option("--count", o->count, "particles per frame")->transform(Integer(0, 10000000));
	app.add_option("--name", o->name, "sequence name")
		->check(SequenceName());
	app.add_option("--padding", o->padding, "digits of the frame number")->transform(Integer(1, 9));
	return [o] { return SampleTpc(*o); };
}

// A kind is one entry here plus its options function.
struct SampleKind
{
	const char* name;
	const char* target; // what the kind writes to, for the summary lines
	const char* summary;
	CommandRun (*define)(CLI::App& app);
};

const SampleKind KINDS[] = {
	{"particles", "DIR", "a fountain of particle .bin frames", SampleParticlesCommand},
	{"pxy", "DIR", "a swirl of particle .pxy frames (version 2.5 or 3.0)", SamplePxyCommand},
	{"tpc", "DIR", "a swirling cloud of particle .tpc frames with custom channels", SampleTpcCommand},
	{"mesh", "DIR", "a rippling surface as mesh .bin frames with texture, speed and weights", SampleMeshCommand},
	{"chunked", "DIR", "the same surface as chunked mesh frames (points, triangles, vertex maps)",
		SampleChunkedCommand},
	{"md", "DIR", "the same surface as .md frames with named channels", SampleMdCommand},
	{"sd", "FILE", "one SD scene file: a rigid cube, a deforming flag and a camera", SampleSdCommand},
};

} // namespace

CommandRun SampleCommand(CLI::App& app)
{
	// The summary in twconnect's own help names every kind.
	std::string kinds;
	const size_t n = sizeof(KINDS) / sizeof(KINDS[0]);
	for (size_t k = 0; k < n; ++k)
		kinds += std::string(k == 0 ? ": " : (k + 1 == n ? " or " : ", ")) + KINDS[k].name + " " + KINDS[k].target;
	app.description(app.get_description() + kinds);
	app.require_subcommand(1);
	auto runs = std::make_shared<std::vector<std::pair<CLI::App*, CommandRun>>>();
	for (const SampleKind& kind : KINDS)
	{
		CLI::App* sub = app.add_subcommand(kind.name, kind.summary);
		runs->emplace_back(sub, kind.define(*sub));
	}
	return [runs] {
		for (auto& [sub, run] : *runs)
			if (sub->parsed())
				return run();
		return kExitBadArgument;
	};
}
