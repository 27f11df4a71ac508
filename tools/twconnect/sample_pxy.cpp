// sample_pxy.cpp - twconnect sample pxy: a swirl of particles as .pxy frames.
#include "sample_pxy.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include <sys/stat.h>

namespace
{

bool MakeFolders(const std::string& dir)
{
	for (size_t k = 1; k <= dir.size(); ++k)
		if (k == dir.size() || dir[k] == '/')
			if (mkdir(dir.substr(0, k).c_str(), 0777) != 0 && errno != EEXIST)
				return false;
	struct stat st;
	return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void Put32(unsigned char* p, uint32_t v)
{
	for (int k = 0; k < 4; ++k)
		p[k] = static_cast<unsigned char>(v >> (8 * k));
}

void PutFloat(unsigned char* p, float f)
{
	uint32_t u;
	std::memcpy(&u, &f, 4);
	Put32(p, u);
}

// Deterministic per-particle noise in [0, 1).
float Noise(uint32_t i, uint32_t salt)
{
	uint32_t h = i * 0x9E3779B1u ^ (salt * 0x85EBCA77u);
	h ^= h >> 15;
	h *= 0x2C1B3C6Du;
	h ^= h >> 13;
	return static_cast<float>(h >> 8) / 16777216.0f;
}

// Particles circle a vertical axis, each at its own radius, height and angular speed. Metres and
// metres per second, 25 frames per second.
void FillFrame(std::vector<unsigned char>& bytes, int frame, int count, float version)
{
	const bool wide = version >= 3.0f;
	const size_t record_bytes = wide ? 32 : 28;
	bytes.assign(8 + record_bytes * static_cast<size_t>(count), 0);
	PutFloat(&bytes[0], version);
	Put32(&bytes[4], static_cast<uint32_t>(count));
	const float time = static_cast<float>(frame) / 25.0f;
	unsigned char* r = bytes.data() + 8;
	for (int i = 0; i < count; ++i, r += record_bytes)
	{
		const uint32_t u = static_cast<uint32_t>(i);
		const float radius = 0.2f + 1.8f * Noise(u, 1);
		const float omega = 1.5f / (0.5f + radius);
		const float angle = Noise(u, 2) * 6.2831853f + omega * time;
		const float height = 2.0f * Noise(u, 3) + 0.1f * std::sin(time + radius);
		const float p[3] = {radius * std::cos(angle), height, radius * std::sin(angle)};
		const float v[3] = {-omega * p[2], 0.1f * std::cos(time + radius), omega * p[0]};
		// file IDs start at 1; matching by ID relies on it
		const uint64_t id = static_cast<uint64_t>(i) + 1;
		Put32(r, static_cast<uint32_t>(id));
		if (wide)
			Put32(r + 4, static_cast<uint32_t>(id >> 32));
		unsigned char* values = r + (wide ? 8 : 4);
		for (int c = 0; c < 3; ++c)
		{
			PutFloat(values + 4 * c, p[c]);
			PutFloat(values + 12 + 4 * c, v[c]);
		}
	}
}

struct PxyOptions
{
	std::string dir, name = "swirl", version = "3.0";
	long long start = 0, end = 24, count = 10000;
};

} // namespace

bool WriteSamplePxy(const char* dir, const char* name, int start, int end, int count, float version, std::string& error)
{
	if (end < start || count < 0 || !(version == 2.5f || version == 3.0f))
	{
		error = "bad arguments";
		return false;
	}
	std::vector<unsigned char> bytes;
	for (int frame = start; frame <= end; ++frame)
	{
		char file[64];
		std::snprintf(file, sizeof(file), "_%05d.pxy", frame);
		const std::string path = std::string(dir) + "/" + name + file;
		FillFrame(bytes, frame, count, version);
		FILE* f = std::fopen(path.c_str(), "wb");
		if (!f)
		{
			error = "cannot write '" + path + "': " + std::strerror(errno);
			return false;
		}
		const bool whole = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
		if (std::fclose(f) != 0 || !whole)
		{
			error = "cannot write '" + path + "': write failed";
			return false;
		}
	}
	return true;
}

CommandRun SamplePxyCommand(CLI::App& app)
{
	auto o = std::make_shared<PxyOptions>();
	app.add_option("DIR", o->dir, "folder the frames go to (made when missing)")->required()->check(NonEmpty());
	app.add_option("--start", o->start, "first frame")->transform(Integer(0, 9999999));
	app.add_option("--end", o->end, "last frame")->transform(Integer(0, 9999999));
	app.add_option("--count", o->count, "particles per frame")->transform(Integer(0, 50000000));
	app.add_option("--version", o->version, "file version: 2.5 (32-bit ids) or 3.0 (64-bit ids)")
		->check(CLI::IsMember({"2.5", "3.0"}));
	return [o] {
		if (o->end < o->start)
			return CliBadArgument("sample pxy: --end %lld is before --start %lld", o->end, o->start);
		if (!MakeFolders(o->dir))
			return CliError("cannot create folder '%s': %s", o->dir.c_str(), std::strerror(errno));
		std::string error;
		const float version = o->version == "2.5" ? 2.5f : 3.0f;
		if (!WriteSamplePxy(o->dir.c_str(), o->name.c_str(), static_cast<int>(o->start), static_cast<int>(o->end),
				static_cast<int>(o->count), version, error))
			return CliError("sample pxy: %s", error.c_str());
		std::printf("wrote %lld frames of %lld particles to %s/%s_%05lld.pxy .. %s_%05lld.pxy\n", o->end - o->start + 1,
			o->count, o->dir.c_str(), o->name.c_str(), o->start, o->name.c_str(), o->end);
		return 0;
	};
}
