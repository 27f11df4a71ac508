// info.cpp - twconnect info: the header and channel ranges of cache files.
#include "cli.h"

#include "particle_bin.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "info_mesh.h"
#include "info_pxy.h"
#include "info_ranges.h"
#include "info_sd.h"
#include "info_tpc.h"
#include "mesh_bin.h"

namespace
{

// One entry per file kind info understands.
struct InfoFormat
{
	const char* description; // for "not a ... file"
	bool (*detect)(const char* path);
	int (*print)(const char* path, bool json);
	const char* mesh_type = nullptr; // the --mesh-type that picks this entry whatever the file holds
};

// The text form stays short; --json keeps every digit (cli_common.cpp).
std::string Vec3Text(const float* v)
{
	return InfoNumber(v[0]) + " " + InfoNumber(v[1]) + " " + InfoNumber(v[2]);
}

template <typename T>
ChannelRange RangeOf(const char* name, const T* values, int components, int32_t count)
{
	ChannelRange r = {name, components, {0, 0, 0}, {0, 0, 0}};
	for (int c = 0; c < components; ++c)
	{
		if (count < 1)
			continue;
		r.min[c] = r.max[c] = static_cast<double>(values[c]);
		for (int32_t i = 1; i < count; ++i)
		{
			double v = static_cast<double>(values[static_cast<int64_t>(i) * components + c]);
			if (v < r.min[c])
				r.min[c] = v;
			if (v > r.max[c])
				r.max[c] = v;
		}
	}
	return r;
}

std::vector<ChannelRange> ParticleRanges(const BinParticleFrame* f)
{
	const int32_t n = f->kept_count;
	return {
		RangeOf("position", f->position, 3, n),
		RangeOf("velocity", f->velocity, 3, n),
		RangeOf("force", f->force, 3, n),
		RangeOf("vorticity", f->vorticity, 3, n),
		RangeOf("normal", f->normal, 3, n),
		RangeOf("texture", f->texture, 3, n),
		RangeOf("neighbors", f->neighbors, 1, n),
		RangeOf("info_bits", f->info_bits, 1, n),
		RangeOf("age", f->age, 1, n),
		RangeOf("isolation", f->isolation, 1, n),
		RangeOf("viscosity", f->viscosity, 1, n),
		RangeOf("density", f->density, 1, n),
		RangeOf("pressure", f->pressure, 1, n),
		RangeOf("mass", f->mass, 1, n),
		RangeOf("temperature", f->temperature, 1, n),
		RangeOf("id", f->id, 1, n),
	};
}

int64_t FileBytes(const char* path)
{
	struct stat st;
	return stat(path, &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
}

bool DetectParticleBin(const char* path)
{
	return IsParticleBin(path) != 0;
}

// Why a particle .bin that starts with the magic could not be read.
std::string ParticleFailure(const BinParticleFrame* f, int64_t file_bytes)
{
	const BinParticleHeader& h = f->header;
	if (file_bytes < PARTICLE_BIN_HEADER_BYTES)
		return "truncated header (" + std::to_string(file_bytes) + " of 356 bytes)";
	if (h.version < PARTICLE_BIN_MIN_VERSION)
		return "version " + std::to_string(h.version) + " is older than 9";
	if (h.particle_count < 0)
		return "negative particle count " + std::to_string(h.particle_count);
	int64_t need = PARTICLE_BIN_HEADER_BYTES + int64_t(h.particle_count) * ParticleBinRecordBytes(h.version);
	if (file_bytes < need)
		return "truncated records (header counts " + std::to_string(h.particle_count) + " particles, " +
			std::to_string(need) + " bytes; the file has " + std::to_string(file_bytes) + ")";
	return "read failed (out of memory?)";
}

int PrintParticleBin(const char* path, bool json)
{
	BinParticleFrame* f = OpenParticleBin(path, 0);
	if (!f)
		return CliError("cannot open '%s': %s", path, std::strerror(errno));
	const int64_t file_bytes = FileBytes(path);
	if (!ReadParticleBin(f, 100.0f))
	{
		std::string why = ParticleFailure(f, file_bytes);
		FreeParticleBin(f);
		return CliError("cannot read '%s': %s", path, why.c_str());
	}
	CloseParticleBinFile(f);
	const BinParticleHeader& h = f->header;
	const int64_t records_end = PARTICLE_BIN_HEADER_BYTES + int64_t(h.particle_count) * ParticleBinRecordBytes(h.version);
	const std::vector<ChannelRange> ranges = ParticleRanges(f);

	if (json)
	{
		PrintJson({
			{"file", path},
			{"format", "particle-bin"},
			{"version", h.version},
			{"fluid_name", std::string(h.fluid_name, strnlen(h.fluid_name, sizeof h.fluid_name))},
			{"frame", h.frame},
			{"fps", h.fps},
			{"simulation_time", JsonNumber(h.simulation_time_seconds)},
			{"scale", JsonNumber(h.scale)},
			{"fluid_type", h.fluid_type},
			{"particle_count", h.particle_count},
			{"radius", JsonNumber(h.radius)},
			{"range1", JsonVector(h.range1)},
			{"speed_range", JsonVector(h.speed_range)},
			{"range3", JsonVector(h.range3)},
			{"emitter_position", JsonVector(h.emitter_position)},
			{"emitter_rotation", JsonVector(h.emitter_rotation)},
			{"emitter_scale", JsonVector(h.emitter_scale)},
			{"file_bytes", file_bytes},
			{"records_end", records_end},
			{"channels", RangesJson(ranges)},
		});
	}
	else
	{
		std::printf("%s: particle .bin\n", path);
		std::printf("  version          %d\n", h.version);
		std::printf("  fluid name       %s\n", h.fluid_name);
		std::printf("  frame            %d\n", h.frame);
		std::printf("  fps              %d\n", h.fps);
		std::printf("  simulation time  %s s\n", InfoNumber(h.simulation_time_seconds).c_str());
		std::printf("  scale            %s\n", InfoNumber(h.scale).c_str());
		std::printf("  fluid type       %d\n", h.fluid_type);
		std::printf("  radius           %s\n", InfoNumber(h.radius).c_str());
		std::printf("  range 1          %s\n", Vec3Text(h.range1).c_str());
		std::printf("  speed range      %s\n", Vec3Text(h.speed_range).c_str());
		std::printf("  range 3          %s\n", Vec3Text(h.range3).c_str());
		std::printf("  emitter position %s\n", Vec3Text(h.emitter_position).c_str());
		std::printf("  emitter rotation %s\n", Vec3Text(h.emitter_rotation).c_str());
		std::printf("  emitter scale    %s\n", Vec3Text(h.emitter_scale).c_str());
		std::printf("  particle count   %d\n", h.particle_count);
		std::printf("  file size        %lld bytes; header and records take %lld, %lld after them\n",
			static_cast<long long>(file_bytes), static_cast<long long>(records_end),
			static_cast<long long>(file_bytes - records_end));
		PrintRanges(ranges);
	}
	FreeParticleBin(f);
	return 0;
}

bool DetectMeshBin(const char* path)
{
	return MeshIsBinFile(path);
}

// The report of a mesh reader, or its reason on stderr.
int PrintReport(const char* path, bool json, bool (*report)(const char*, bool, std::string&, std::string&),
	const char* unreadable)
{
	std::string out, error;
	if (!report(path, json, out, error))
		return CliError("cannot read '%s': %s", path, error.empty() ? unreadable : error.c_str());
	std::fputs(out.c_str(), stdout);
	if (!out.empty() && out.back() != '\n')
		std::fputc('\n', stdout);
	return 0;
}

int PrintMeshBin(const char* path, bool json)
{
	return PrintReport(path, json, InfoMeshBin, "not a readable mesh .bin file");
}

int PrintMeshChunk(const char* path, bool json)
{
	return PrintReport(path, json, InfoMeshChunk, "not a readable chunked mesh file");
}

int PrintMeshMd(const char* path, bool json)
{
	return PrintReport(path, json, InfoMeshMd, "not a readable .md file");
}

int PrintTpc(const char* path, bool json)
{
	std::string out, error;
	if (!InfoTpc(path, json, out, error))
		return CliError("cannot read '%s': %s", path, error.c_str());
	std::fputs(out.c_str(), stdout);
	return 0;
}

const InfoFormat FORMATS[] = {
	{"particle .bin", DetectParticleBin, PrintParticleBin},
	{"mesh .bin", DetectMeshBin, PrintMeshBin, "bin"},
	{"chunked mesh", InfoMeshChunkDetect, PrintMeshChunk, "chunked"},
	// an .md file that lost its magic still gets the .md reader's reason
	{"mesh .md", InfoMeshMdDetect, PrintMeshMd, "md"},
	// .pxy files have no magic: named *.pxy.
	{"particle .pxy", InfoPxyDetect, InfoPxyPrint},
	{"particle .tpc", InfoTpcDetect, PrintTpc},
	// SD files have no magic: named *.sd, or a header and descriptors that read (info_sd.cpp).
	{"SD scene", InfoSdDetect, InfoSdPrint},
};

int InfoFile(const char* path, bool json, const std::string& mesh_type)
{
	FILE* probe = std::fopen(path, "rb");
	if (!probe)
		return CliError("cannot open '%s': %s", path, std::strerror(errno));
	std::fclose(probe);
	for (const InfoFormat& format : FORMATS)
		if (mesh_type == "auto" ? format.detect(path) : format.mesh_type && mesh_type == format.mesh_type)
			return format.print(path, json);
	std::string kinds;
	const size_t n = sizeof(FORMATS) / sizeof(FORMATS[0]);
	for (size_t k = 0; k < n; ++k)
		kinds += std::string(k == 0 ? "" : (k + 1 == n ? " or " : ", ")) + FORMATS[k].description;
	return CliError("cannot read '%s': not a %s file", path, kinds.c_str());
}

} // namespace

CommandRun InfoCommand(CLI::App& app)
{
	struct Options
	{
		bool json = false;
		std::string mesh_type = "auto";
		std::vector<std::string> files;
	};
	auto o = std::make_shared<Options>();
	app.add_flag("--json", o->json, "one JSON object per file");
	app.add_option("--mesh-type", o->mesh_type,
		   "read every FILE as this mesh format; auto tells mesh .bin and .md files by their magic (.md also by "
		   "name) and chunked files by their \"FORM\" header")
		->check(MeshTypeName());
	app.add_option("FILE", o->files, "particle .bin, .pxy or .tpc, mesh .bin, chunked or .md, or SD file")->required();
	return [o] {
		int status = 0;
		for (const std::string& file : o->files)
			if (InfoFile(file.c_str(), o->json, o->mesh_type) != 0)
				status = kExitFailed;
		return status;
	};
}
