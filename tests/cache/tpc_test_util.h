// tpc_test_util.h - builds particle .tpc files byte by byte for the tests.
#pragma once

#include "cache_internal.h"
#include "particle_tpc.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <zlib.h>

struct TpcTestChannel
{
	std::string name;
	int32_t type;
	std::vector<unsigned char> values; // particle count x E bytes, uncompressed
};

inline std::vector<unsigned char> Deflate(const std::vector<unsigned char>& raw, int level = Z_DEFAULT_COMPRESSION)
{
	uLongf size = compressBound(static_cast<uLong>(raw.size()));
	std::vector<unsigned char> out(size);
	if (compress2(out.data(), &size, raw.data(), static_cast<uLong>(raw.size()), level) != Z_OK)
		return {};
	out.resize(size);
	return out;
}

// Element bytes of common values.
inline std::vector<unsigned char> Floats(const std::vector<float>& v)
{
	std::vector<unsigned char> b(v.size() * 4);
	for (size_t i = 0; i < v.size(); ++i)
		StoreF32(&b[4 * i], v[i]);
	return b;
}
inline std::vector<unsigned char> Doubles(const std::vector<double>& v)
{
	std::vector<unsigned char> b(v.size() * 8);
	for (size_t i = 0; i < v.size(); ++i)
		StoreF64(&b[8 * i], v[i]);
	return b;
}
inline std::vector<unsigned char> Int64s(const std::vector<int64_t>& v)
{
	std::vector<unsigned char> b(v.size() * 8);
	for (size_t i = 0; i < v.size(); ++i)
		StoreI64(&b[8 * i], v[i]);
	return b;
}

// The file: header, descriptors, blocks. blocks[c], when given, replaces channel c's compressed
// bytes (to write broken blocks); the descriptor then states their size.
inline std::vector<unsigned char> TpcBytes(int32_t count, const std::vector<TpcTestChannel>& channels,
										   std::vector<std::vector<unsigned char>> blocks = {}, int32_t version = 3)
{
	std::vector<unsigned char> out(PARTICLE_TPC_HEADER_BYTES, 0);
	StoreU32(&out[0], PARTICLE_TPC_MAGIC);
	StoreI32(&out[4], version);
	StoreI32(&out[8], count);
	StoreI32(&out[12], static_cast<int32_t>(channels.size()));
	blocks.resize(channels.size());
	for (size_t c = 0; c < channels.size(); ++c)
	{
		const TpcTestChannel& ch = channels[c];
		if (blocks[c].empty())
			blocks[c] = Deflate(ch.values);
		unsigned char b[8];
		StoreI32(b, static_cast<int32_t>(ch.name.size() + 1));
		out.insert(out.end(), b, b + 4);
		out.insert(out.end(), ch.name.begin(), ch.name.end());
		out.push_back(0);
		StoreI32(b, ch.type);
		out.insert(out.end(), b, b + 4);
		out.insert(out.end(), 8, 0); // reserved
		StoreU64(b, blocks[c].size());
		out.insert(out.end(), b, b + 8);
		const int32_t e = TpcElementBytes(ch.type), n = TpcComponents(ch.type);
		const int32_t summary = e > 0 ? 3 * e + 2 * e / n : 0;
		out.insert(out.end(), static_cast<size_t>(summary), 0);
	}
	for (const auto& block : blocks)
		out.insert(out.end(), block.begin(), block.end());
	return out;
}
