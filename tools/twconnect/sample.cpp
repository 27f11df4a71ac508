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

#include <sys/stat.h>

#include "sample_mesh.h"
#include "sample_sd.h"

namespace
{

void Usage(FILE* out)
{
	std::fprintf(out,
		"usage: twconnect sample KIND DIR [options]\n"
		"  kinds: particles   a fountain of particle .bin frames\n"
		"  options for particles:\n"
		"    --start N      first frame (default 0)\n"
		"    --end N        last frame (default 24)\n"
		"    --count N      particles per frame (default 10000)\n"
		"    --version V    file version, 9 or 12 (default 12)\n"
		"    --name NAME    sequence and fluid name (default splash)\n"
		"    --padding D    digits of the frame number, 1 to 9 (default 5)\n"
		"  twconnect sample sd FILE [--start N] [--end N] [--texture PATH]\n"
		"    one SD scene file: a rigid cube, a deforming flag and a camera\n");
}


bool MakeFolder(const std::string& dir)
{
	std::string partial;
	for (size_t k = 0; k <= dir.size(); ++k)
	{
		if (k == dir.size() || (dir[k] == '/' && k > 0))
		{
			partial = dir.substr(0, k);
			if (mkdir(partial.c_str(), 0777) != 0 && errno != EEXIST)
				return false;
		}
	}
	struct stat st;
	return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

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

int SampleParticles(const std::vector<std::string>& args)
{
	if (args.empty() || args[0].empty() || args[0][0] == '-')
	{
		CliError("sample particles: no folder given");
		Usage(stderr);
		return 1;
	}
	const std::string dir = args[0];
	long long start = 0, end = 24, count = 10000, version = 12, padding = 5;
	std::string name = "splash";
	for (size_t k = 1; k < args.size(); ++k)
	{
		const std::string& option = args[k];
		if (k + 1 >= args.size())
		{
			CliError("sample particles: option '%s' needs a value", option.c_str());
			return 1;
		}
		const std::string& value = args[++k];
		bool ok = true;
		if (option == "--start")
			ok = ParseInt(value, 0, 9999999, &start);
		else if (option == "--end")
			ok = ParseInt(value, 0, 9999999, &end);
		else if (option == "--count")
			ok = ParseInt(value, 0, 100000000, &count);
		else if (option == "--version")
			ok = ParseInt(value, 9, 12, &version) && (version == 9 || version == 12);
		else if (option == "--padding")
			ok = ParseInt(value, 1, 9, &padding);
		else if (option == "--name")
			ok = !value.empty() && value.size() <= 200 && value.find('/') == std::string::npos;
		else
		{
			CliError("sample particles: unknown option '%s'", option.c_str());
			Usage(stderr);
			return 1;
		}
		if (!ok)
			return CliError("sample particles: bad value '%s' for %s", value.c_str(), option.c_str());
		if (option == "--name")
			name = value;
	}
	if (end < start)
		return CliError("sample particles: --end %lld is before --start %lld", end, start);
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

// One entry per kind; mesh and SD samples join as further entries.
struct SampleKind
{
	const char* name;
	int (*run)(const std::vector<std::string>& args);
};

int SampleMesh(const std::vector<std::string>& args)
{
	if (args.empty() || args[0] == "--help")
	{
		std::printf("usage: twconnect sample mesh DIR [--start N] [--end N] [--weights 1|2|3]\n");
		return args.empty() ? 2 : 0;
	}
	long start = 0, end = 24, weights = 3;
	for (size_t i = 1; i < args.size(); ++i)
	{
		const std::string& a = args[i];
		if (i + 1 >= args.size())
		{
			CliError("sample mesh: '%s' needs a value", a.c_str());
			return 2;
		}
		long v = std::strtol(args[++i].c_str(), nullptr, 10);
		if (a == "--start")
			start = v;
		else if (a == "--end")
			end = v;
		else if (a == "--weights")
			weights = v;
		else
		{
			CliError("sample mesh: unknown option '%s'", a.c_str());
			return 2;
		}
	}
	if (end < start || weights < 1 || weights > 3)
	{
		CliError("sample mesh: need start <= end and 1 to 3 weights");
		return 2;
	}
	if (!MakeFolder(args[0]))
		return CliError("cannot make folder '%s'", args[0].c_str());
	std::string error;
	if (!WriteSampleMesh(args[0].c_str(), static_cast<int>(start), static_cast<int>(end), static_cast<int>(weights), error))
		return CliError("sample mesh: %s", error.c_str());
	std::printf("wrote %ld mesh frames to %s\n", end - start + 1, SampleMeshPath(args[0].c_str(), static_cast<int>(start)).c_str());
	return 0;
}

const SampleKind KINDS[] = {
	{"particles", SampleParticles},
	{"mesh", SampleMesh},
	{"sd", SampleSd},
};

} // namespace

int CmdSample(const std::vector<std::string>& args)
{
	if (args.empty())
	{
		CliError("sample: no kind given");
		Usage(stderr);
		return 1;
	}
	if (args[0] == "--help" || args[0] == "-h")
	{
		Usage(stdout);
		return 0;
	}
	for (const SampleKind& kind : KINDS)
		if (args[0] == kind.name)
			return kind.run(std::vector<std::string>(args.begin() + 1, args.end()));
	CliError("sample: unknown kind '%s'", args[0].c_str());
	Usage(stderr);
	return 1;
}
