// convert.cpp - twconnect convert: the frames of a particle or mesh sequence as PLY, CSV or OBJ files
// for other tools.
#include "cli.h"

#include "convert_write.h"
#include "sequence_files.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace
{

struct ConvertOptions
{
	std::string file;
	std::string to;
	std::string out;
	long long start = -1;
	long long end = -1;
	bool json = false;
};

bool IsFolder(const std::string& path)
{
	struct stat st;
	return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The output of one frame: a pattern's frame, the one file named, or the input's name with the new
// extension in the folder.
struct OutputNames
{
	enum Kind
	{
		Pattern,
		File,
		Folder,
	} kind;
	std::string path;

	std::string For(const SequenceFiles& files, int32_t frame, const std::string& extension) const
	{
		if (kind == File)
			return path;
		if (kind == Pattern)
		{
			SequenceFiles out;
			out.pattern = path;
			out.numbered = true;
			return out.Path(frame);
		}
		std::string name = files.Name(frame);
		const size_t dot = name.rfind('.');
		if (dot != std::string::npos && dot > 0)
			name.resize(dot);
		return path + (path.empty() || path.back() == '/' ? "" : "/") + name + "." + extension;
	}
};

bool HasFrameToken(const std::string& path)
{
	const size_t token = path.rfind("$F");
	return token != std::string::npos && token + 2 < path.size() && path[token + 2] >= '1' && path[token + 2] <= '9' &&
		path.find('/', token) == std::string::npos;
}

bool EndsWith(const std::string& text, const std::string& tail)
{
	return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

int RunConvert(const ConvertOptions& o)
{
	SequenceFiles files;
	std::string error;
	if (!FindSequence(o.file, files, error))
		return CliError("cannot convert '%s': %s", o.file.c_str(), error.c_str());
	const bool mesh = IsMeshSequence(files.format);
	if (!mesh && !IsParticleSequence(files.format))
		return CliBadArgument("'%s' is an SD scene: convert takes particle and mesh sequences", o.file.c_str());
	if (mesh && o.to == "csv")
		return CliBadArgument("mesh sequences convert to ply or obj");
	if (!mesh && o.to == "obj")
		return CliBadArgument("particle sequences convert to ply or csv");

	const int32_t first = o.start >= 0 ? static_cast<int32_t>(o.start) : files.frames.front();
	const int32_t last = o.end >= 0 ? static_cast<int32_t>(o.end) : files.frames.back();
	if (last < first)
		return CliBadArgument("--end %d is before --start %d", last, first);
	if (!files.numbered && (first != 0 || last != 0))
		return CliBadArgument("'%s' has no frame number: it is frame 0 alone", o.file.c_str());

	OutputNames names{OutputNames::Folder, o.out};
	if (HasFrameToken(o.out))
		names.kind = OutputNames::Pattern;
	else if (first == last && EndsWith(o.out, "." + o.to) && !IsFolder(o.out))
		names.kind = OutputNames::File;
	else if (!MakeFolder(o.out))
		return CliError("cannot make the folder '%s': %s", o.out.c_str(), std::strerror(errno));

	bool (*write)(const ConvertTable&, FILE*) = o.to == "ply" ? WritePly : o.to == "csv" ? WriteCsv : WriteObj;
	int status = 0;
	int64_t written = 0;
	Json done = Json::array();
	const bool bar = isatty(fileno(stderr)) != 0 && last > first;
	for (int64_t frame = first; frame <= last; ++frame)
	{
		const int32_t f = static_cast<int32_t>(frame);
		const std::string in = files.Path(f);
		const std::string out = names.For(files, f, o.to);
		ConvertTable table;
		if (!std::binary_search(files.frames.begin(), files.frames.end(), f))
			status = CliError("frame %d: '%s' is missing", f, in.c_str());
		else if (!LoadConvertTable(files.format, in, table, error))
			status = CliError("cannot read '%s': %s", in.c_str(), error.c_str());
		else if (!WriteWhole(out, write, table, error))
			status = CliError("cannot write '%s': %s", out.c_str(), error.c_str());
		else
		{
			++written;
			if (o.json)
				done.push_back({{"frame", f}, {"from", in}, {"to", out}, {"rows", table.rows},
					{"faces", static_cast<int64_t>(table.triangles.size() / 3)}});
		}
		if (bar)
			CliProgress(frame - first + 1, static_cast<long long>(last) - first + 1);
	}
	if (o.json)
		PrintJson({{"format", o.to}, {"first", first}, {"last", last}, {"written", written}, {"frames", done}});
	else
		std::printf("wrote %lld of %lld frames as %s\n", static_cast<long long>(written),
			static_cast<long long>(last) - first + 1, o.to.c_str());
	return status;
}

} // namespace

CommandRun ConvertCommand(CLI::App& app)
{
	auto o = std::make_shared<ConvertOptions>();
	app.add_option("FILE", o->file, "any frame of a particle (.bin, .pxy, .tpc) or mesh (.bin, chunked, .md) sequence")
		->required();
	app.add_option("--to", o->to, "ply (particles and meshes), csv (particles) or obj (meshes)")
		->required()
		->check(CLI::IsMember({"ply", "obj", "csv"}));
	app.add_option("--out", o->out,
		   "a folder (each frame keeps its name with the new extension), a name with a frame token such as "
		   "out_$F4.ply, or for a single frame the file itself")
		->required()
		->check(NonEmpty());
	app.add_option("--start", o->start, "first frame (default: the first on disk)")->transform(Integer(0, 9999999))->default_str("");
	app.add_option("--end", o->end, "last frame (default: the last on disk)")->transform(Integer(0, 9999999))->default_str("");
	app.add_flag("--json", o->json, "print the files written as one JSON object");
	app.footer(
		"Values stay in the file's units (metres, metres per second). PLY files are binary_little_endian 1.0 with one\n"
		"vertex property per value the frame holds, named after its channel: position x y z, velocity vx vy vz,\n"
		"normal nx ny nz, texture u v w, other vectors NAME_x NAME_y NAME_z (NAME_w for a fourth value), scalars\n"
		"by their name; names keep letters, digits and '_' (anything else becomes '_'), and a repeated name gets\n"
		"_2, _3. Particle ids are int, or double when one does not fit 32 bits. Meshes add vertex weights\n"
		"weight_0 .. weight_N-1 (when there are two or more) and an element face with list uchar int\n"
		"vertex_indices, in the file's corner order. CSV has a header row with the same names. OBJ holds v,\n"
		"vt (U and V) and f with 1-based indices (a/a b/b c/c when there are texture coordinates).\n"
		"Each file is written under a temporary name and renamed into place when complete.");
	return [o] { return RunConvert(*o); };
}
