// sequence_files.h - the frames of a cache sequence that are on disk, and the format they are read as,
// for `twconnect check` and `twconnect convert`.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The format codes of the cache library (CacheFormat), and one more for an SD scene file.
constexpr int32_t kFormatSd = 100;

// Short name of a format for reports: "particle-bin", "mesh-md", "sd", ...
const char* FormatName(int32_t format);
bool IsParticleSequence(int32_t format);
bool IsMeshSequence(int32_t format);

// The format a file's bytes (or, for formats without magic, its name) say it has; -1 when neither does.
int32_t DetectFormat(const std::string& path);

struct SequenceFiles
{
	int32_t format = -1;
	// The chosen file's path with its frame digits as "$F" and the digit count; without digits the
	// sequence is that one file, frame 0.
	std::string pattern;
	bool numbered = false;
	std::vector<int32_t> frames; // on disk, ascending

	// The path of a frame, on disk or not.
	std::string Path(int32_t frame) const;
	// The file name of a frame without its folder.
	std::string Name(int32_t frame) const;
};

// Lists the frames of the sequence that `file` belongs to, by the names in its folder (a gap in the
// numbers does not end the sequence), and picks the format from the chosen file or, when it is too
// damaged to tell, the first frame that tells. False, with the reason, when the file is not there or
// no frame says what it is.
bool FindSequence(const std::string& file, SequenceFiles& out, std::string& error);
