// info_pxy.cpp - twconnect info for particle .pxy files.
#include "info_pxy.h"

#include "cli_output.h"
#include "info_ranges.h"

#include "frame_sequence.h"
#include "particle_pxy.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace
{

// Why a .pxy file could not be read.
std::string Failure(const PxyParticleFrame* f, int64_t file_bytes)
{
	if (file_bytes < PARTICLE_PXY_HEADER_BYTES)
		return "truncated header (" + std::to_string(file_bytes) + " of 8 bytes)";
	if (f->particle_count < 0)
		return "negative particle count " + std::to_string(f->particle_count);
	const int64_t need = PARTICLE_PXY_HEADER_BYTES + int64_t(f->particle_count) * PxyRecordBytes(f->version);
	if (file_bytes < need)
		return "truncated records (header counts " + std::to_string(f->particle_count) + " particles, " +
			std::to_string(need) + " bytes; the file has " + std::to_string(file_bytes) + ")";
	return "read failed (out of memory?)";
}

} // namespace

bool InfoPxyDetect(const char* path)
{
	return HasExtension(path, ".pxy");
}

int InfoPxyPrint(const char* path, bool json)
{
	PxyParticleFrame* f = OpenPxy(path);
	if (!f)
		return CliError("cannot open '%s': %s", path, std::strerror(errno ? errno : ENOENT));
	struct stat st;
	const int64_t file_bytes = stat(path, &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
	if (!ReadPxy(f, 100.0f))
	{
		const std::string why = Failure(f, file_bytes);
		FreePxy(f);
		return CliError("cannot read '%s': %s", path, why.c_str());
	}
	ClosePxyFile(f);
	const int record_bytes = PxyRecordBytes(f->version);
	// a version that carries no particles has no records, whatever its count says
	const int64_t count = record_bytes ? f->particle_count : 0;
	const int64_t records_end = PARTICLE_PXY_HEADER_BYTES + count * record_bytes;
	std::vector<ChannelRange> ranges = {{"position", 3, {0, 0, 0}, {0, 0, 0}}, {"velocity", 3, {0, 0, 0}, {0, 0, 0}},
		{"id", 1, {0, 0, 0}, {0, 0, 0}}};
	for (int32_t i = 0; i < f->kept_count; ++i)
	{
		const PxyParticleRecord& r = f->records[i];
		for (int c = 0; c < 3; ++c)
		{
			WidenRange(ranges[0], c, r.position[c], i == 0);
			WidenRange(ranges[1], c, r.velocity[c], i == 0);
		}
		WidenRange(ranges[2], 0, static_cast<double>(r.id), i == 0);
	}

	if (json)
	{
		PrintJson({
			{"file", path},
			{"format", "particle-pxy"},
			{"version", std::isfinite(f->version) ? Json(JsonFloat(f->version)) : Json(nullptr)},
			{"id_bytes", record_bytes == 32 ? 8 : record_bytes == 28 ? 4 : 0},
			{"particle_count", count},
			{"file_bytes", file_bytes},
			{"records_end", records_end},
			{"channels", RangesJson(ranges)},
		});
	}
	else
	{
		std::printf("%s: particle .pxy\n", path);
		std::printf("  version          %s%s\n", InfoNumber(f->version).c_str(),
			record_bytes ? (record_bytes == 32 ? " (64-bit ids)" : " (32-bit ids)") : " (too old: no particles)");
		std::printf("  particle count   %lld\n", static_cast<long long>(count));
		std::printf("  file size        %lld bytes; header and records take %lld, %lld after them\n",
			static_cast<long long>(file_bytes), static_cast<long long>(records_end),
			static_cast<long long>(file_bytes - records_end));
		PrintRanges(ranges);
	}
	FreePxy(f);
	return 0;
}
