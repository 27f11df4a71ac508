// sequence_files.cpp - the frames of a cache sequence that are on disk, and their format.
#include "sequence_files.h"

#include "cache_types.h"
#include "frame_sequence.h"
#include "info_mesh.h"
#include "info_pxy.h"
#include "info_tpc.h"
#include "mesh_bin.h"
#include "particle_bin.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <dirent.h>
#include <sys/stat.h>

const char* FormatName(int32_t format)
{
	switch (format)
	{
	case CACHE_PARTICLE_BIN: return "particle-bin";
	case CACHE_PARTICLE_PXY: return "particle-pxy";
	case CACHE_PARTICLE_TPC: return "particle-tpc";
	case CACHE_MESH_BIN: return "mesh-bin";
	case CACHE_MESH_CHUNK: return "mesh-chunked";
	case CACHE_MESH_MD: return "mesh-md";
	case kFormatSd: return "sd";
	default: return "unknown";
	}
}

bool IsParticleSequence(int32_t format)
{
	return IsParticleFormat(format);
}

bool IsMeshSequence(int32_t format)
{
	return IsMeshFormat(format);
}

int32_t DetectFormat(const std::string& path)
{
	const char* p = path.c_str();
	if (IsParticleBin(p))
		return CACHE_PARTICLE_BIN;
	if (MeshIsBinFile(p))
		return CACHE_MESH_BIN;
	if (InfoMeshChunkDetect(p))
		return CACHE_MESH_CHUNK;
	if (InfoTpcDetect(p))
		return CACHE_PARTICLE_TPC;
	if (InfoMeshMdDetect(p))
		return CACHE_MESH_MD;
	if (InfoPxyDetect(p))
		return CACHE_PARTICLE_PXY;
	if (HasExtension(p, ".sd"))
		return kFormatSd;
	return -1;
}

namespace
{

// The pattern split round its token: folder and name start, digit count, name end.
struct PatternParts
{
	std::string folder; // with its trailing '/', or empty for the current folder
	std::string head;
	int digits = 0;
	std::string tail;
};

PatternParts Split(const std::string& pattern)
{
	PatternParts parts;
	const size_t token = pattern.rfind("$F");
	const size_t slash = pattern.rfind('/');
	const size_t name_at = slash == std::string::npos ? 0 : slash + 1;
	parts.folder = pattern.substr(0, name_at);
	parts.head = pattern.substr(name_at, token - name_at);
	parts.digits = pattern[token + 2] - '0';
	parts.tail = pattern.substr(token + 3);
	return parts;
}

// The frame a name in the folder stands for, or -1: the pattern's head and tail round at least as many
// digits as it pads to, and no padding zero where more digits were needed.
int64_t FrameOfName(const PatternParts& parts, const std::string& name)
{
	if (name.size() <= parts.head.size() + parts.tail.size() || name.compare(0, parts.head.size(), parts.head) != 0 ||
		name.compare(name.size() - parts.tail.size(), parts.tail.size(), parts.tail) != 0)
		return -1;
	const std::string digits = name.substr(parts.head.size(), name.size() - parts.head.size() - parts.tail.size());
	if (digits.size() < static_cast<size_t>(parts.digits) || digits.size() > 9 ||
		digits.find_first_not_of("0123456789") != std::string::npos)
		return -1;
	if (digits.size() > static_cast<size_t>(parts.digits) && digits.size() > 1 && digits[0] == '0')
		return -1;
	const int64_t frame = std::stoll(digits);
	return frame < SEQUENCE_FRAME_LIMIT ? frame : -1;
}

bool IsFile(const std::string& path)
{
	struct stat st;
	return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

std::string SequenceFiles::Path(int32_t frame) const
{
	if (!numbered)
		return pattern;
	const PatternParts parts = Split(pattern);
	char number[16];
	std::snprintf(number, sizeof number, "%0*d", parts.digits, frame);
	return parts.folder + parts.head + number + parts.tail;
}

std::string SequenceFiles::Name(int32_t frame) const
{
	const std::string path = Path(frame);
	const size_t slash = path.rfind('/');
	return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool FindSequence(const std::string& file, SequenceFiles& out, std::string& error)
{
	out = SequenceFiles();
	if (FILE* probe = std::fopen(file.c_str(), "rb"))
		std::fclose(probe);
	else
	{
		error = errno == ENOENT ? "no such file" : std::strerror(errno);
		return false;
	}
	if (!IsFile(file))
	{
		error = "not a file";
		return false;
	}
	FrameSequence sequence;
	sequence.SetName(file.c_str(), false, true);
	const int token = sequence.FindToken();
	out.pattern = token >= 0 ? sequence.pattern : file;
	out.numbered = token >= 0 && sequence.pattern[token + 2] != '0';
	if (!out.numbered)
	{
		out.pattern = file;
		out.frames.push_back(0);
	}
	else
	{
		const PatternParts parts = Split(out.pattern);
		DIR* dir = opendir(parts.folder.empty() ? "." : parts.folder.c_str());
		if (!dir)
		{
			error = std::string("cannot list its folder: ") + std::strerror(errno);
			return false;
		}
		while (const dirent* entry = readdir(dir))
		{
			const int64_t frame = FrameOfName(parts, entry->d_name);
			if (frame >= 0 && IsFile(parts.folder + entry->d_name))
				out.frames.push_back(static_cast<int32_t>(frame));
		}
		closedir(dir);
		std::sort(out.frames.begin(), out.frames.end());
	}
	if (out.frames.empty())
	{
		error = "no frame of its sequence is a file";
		return false;
	}
	out.format = DetectFormat(file);
	// A chosen file too damaged to say what it is: the others of its sequence may.
	for (size_t k = 0; out.format < 0 && k < out.frames.size(); ++k)
		out.format = DetectFormat(out.Path(out.frames[k]));
	if (out.format < 0)
	{
		error = "not a particle .bin, .pxy or .tpc, mesh .bin, chunked or .md, or SD file";
		return false;
	}
	return true;
}
