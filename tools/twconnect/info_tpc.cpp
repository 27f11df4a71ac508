// info_tpc.cpp - the particle .tpc part of `twconnect info`.
#include "info_tpc.h"

#include "cli_output.h"
#include "particle_tpc.h"

#include <cstdio>
#include <cstring>

namespace
{

const char* TypeName(int32_t type)
{
	static const char* const names[] = {"",      "float3", "double3", "float2", "int64", "uint16",
										"uint8", "int32",  "int8",    "float",  "double", "float4"};
	return type >= 1 && type <= 11 ? names[type] : "unknown";
}

} // namespace

bool InfoTpcDetect(const char* path)
{
	FILE* f = std::fopen(path, "rb");
	if (!f)
		return false;
	unsigned char b[4];
	const bool magic = std::fread(b, 1, 4, f) == 4 &&
					   (b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24)) == PARTICLE_TPC_MAGIC;
	std::fclose(f);
	return magic;
}

bool InfoTpc(const char* path, bool json, std::string& out, std::string& error)
{
	TpcParticleFrame* f = OpenTpc(path);
	if (!f)
	{
		error = "cannot open the file";
		return false;
	}
	const int ok = ReadTpc(f, 100.0f);
	CloseTpcFile(f);
	if (!ok)
	{
		error = f->magic == PARTICLE_TPC_MAGIC && f->version < PARTICLE_TPC_MIN_VERSION
					? "version " + std::to_string(f->version) + " is too old (3 and above are read)"
					: "damaged or truncated .tpc file";
		FreeTpc(f);
		return false;
	}
	if (json)
	{
		Json channels = Json::array();
		for (int32_t c = 0; c < f->channel_count; ++c)
		{
			const TpcChannel& ch = f->channels[c];
			channels.push_back({{"name", ch.name}, {"type", ch.type}, {"compressed_bytes", ch.compressed_bytes}});
		}
		out = JsonText({
				  {"format", "particle-tpc"},
				  {"file", path},
				  {"version", f->version},
				  {"particle_count", f->particle_count},
				  {"channels", channels},
			  }) +
			"\n";
	}
	else
	{
		out = std::string(path) + ": particle .tpc, version " + std::to_string(f->version) + "\n";
		out += "  particles " + std::to_string(f->particle_count) + "\n";
		out += "  channels  " + std::to_string(f->channel_count) + "\n";
		for (int32_t c = 0; c < f->channel_count; ++c)
		{
			const TpcChannel& ch = f->channels[c];
			char line[400];
			std::snprintf(line, sizeof line, "    %-14s %-8s %llu bytes compressed\n", ch.name, TypeName(ch.type),
						  static_cast<unsigned long long>(ch.compressed_bytes));
			out += line;
		}
	}
	FreeTpc(f);
	return true;
}
