// sample_tpc.cpp - writes particle .tpc frames for `twconnect sample tpc`; the module only reads them.
#include "sample_tpc.h"

#include "cache_internal.h"
#include "particle_tpc.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include <zlib.h>

namespace
{

struct Channel
{
	const char* name;
	int32_t type;
	std::vector<unsigned char> values;
	std::vector<unsigned char> block;
};

bool Compress(Channel& c)
{
	uLongf size = compressBound(static_cast<uLong>(c.values.size()));
	c.block.resize(size);
	if (compress2(c.block.data(), &size, c.values.data(), static_cast<uLong>(c.values.size()), Z_DEFAULT_COMPRESSION) != Z_OK)
		return false;
	c.block.resize(size);
	return true;
}

void Put32(std::vector<unsigned char>& out, uint32_t v)
{
	unsigned char b[4];
	StoreU32(b, v);
	out.insert(out.end(), b, b + 4);
}

void Put64(std::vector<unsigned char>& out, uint64_t v)
{
	unsigned char b[8];
	StoreU64(b, v);
	out.insert(out.end(), b, b + 8);
}

} // namespace

std::string SampleTpcPath(const std::string& dir, const std::string& name, long long frame, int padding)
{
	char file[64];
	std::snprintf(file, sizeof file, "_%0*lld.tpc", padding, frame);
	return dir + "/" + name + file;
}

bool WriteSampleTpc(const std::string& path, int32_t frame, int32_t count, std::string& error)
{
	std::vector<Channel> channels = {{"position", 1, {}, {}}, {"velocity", 1, {}, {}}, {"id", 4, {}, {}},
									 {"age", 9, {}, {}},      {"mass", 9, {}, {}},     {"density", 9, {}, {}},
									 {"pressure", 5, {}, {}}, {"heat", 9, {}, {}},     {"wet", 8, {}, {}}};
	for (Channel& c : channels)
		c.values.resize(static_cast<size_t>(count) * static_cast<size_t>(TpcElementBytes(c.type)));
	const float time = static_cast<float>(frame) / 25.0f;
	for (int32_t i = 0; i < count; ++i)
	{
		// particles on a rising spiral, each at its own radius and phase
		const float u = static_cast<float>(i) / static_cast<float>(count > 1 ? count : 1);
		const float radius = 1.0f + 2.0f * u, phase = 6.2831853f * 37.0f * u + time;
		const float p[3] = {radius * std::cos(phase), 0.5f * time + 4.0f * u, radius * std::sin(phase)};
		const float v[3] = {-radius * std::sin(phase), 0.5f, radius * std::cos(phase)};
		const size_t k = static_cast<size_t>(i);
		for (int c = 0; c < 3; ++c)
		{
			StoreF32(&channels[0].values[12 * k + 4 * c], p[c]);
			StoreF32(&channels[1].values[12 * k + 4 * c], v[c]);
		}
		StoreI64(&channels[2].values[8 * k], i + 1); // IDs start at 1, as matching by ID expects
		StoreF32(&channels[3].values[4 * k], time + u);
		StoreF32(&channels[4].values[4 * k], 0.001f * (1.0f + u));
		StoreF32(&channels[5].values[4 * k], 998.0f + 4.0f * u);
		StoreU16(&channels[6].values[2 * k], static_cast<uint16_t>(1000 + (i % 500)));
		StoreF32(&channels[7].values[4 * k], 20.0f + 10.0f * std::sin(phase));
		channels[8].values[k] = p[1] < 1.0f ? 1 : 0;
	}
	std::vector<unsigned char> out;
	Put32(out, PARTICLE_TPC_MAGIC);
	Put32(out, 3);
	Put32(out, static_cast<uint32_t>(count));
	Put32(out, static_cast<uint32_t>(channels.size()));
	out.insert(out.end(), 24, 0); // the two header vectors
	for (Channel& c : channels)
	{
		if (!Compress(c))
		{
			error = "compression failed";
			return false;
		}
		const size_t name_bytes = std::strlen(c.name) + 1;
		Put32(out, static_cast<uint32_t>(name_bytes));
		out.insert(out.end(), c.name, c.name + name_bytes);
		Put32(out, static_cast<uint32_t>(c.type));
		Put64(out, 0);
		Put64(out, c.block.size());
		const int32_t e = TpcElementBytes(c.type);
		out.insert(out.end(), static_cast<size_t>(3 * e + 2 * e / TpcComponents(c.type)), 0); // summaries
	}
	for (const Channel& c : channels)
		out.insert(out.end(), c.block.begin(), c.block.end());
	FILE* f = std::fopen(path.c_str(), "wb");
	if (!f)
	{
		error = "cannot write '" + path + "': " + std::strerror(errno);
		return false;
	}
	const bool written = std::fwrite(out.data(), 1, out.size(), f) == out.size();
	if (std::fclose(f) != 0 || !written)
	{
		error = "cannot write '" + path + "' whole";
		return false;
	}
	return true;
}
