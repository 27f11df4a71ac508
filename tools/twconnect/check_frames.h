// check_frames.h - what `twconnect check` learns of every frame of a sequence, read with the cache
// library's own readers on all cores, and the findings it draws from that.
#pragma once

#include "sequence_files.h"

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

// One frame as its reader left it.
struct FrameFacts
{
	int32_t frame = 0;
	bool present = false;
	bool read = false;
	std::string failure; // why it did not read
	int64_t count = 0; // particles or vertices
	// Header fields that should agree along the sequence, in report order: name and value as text.
	std::vector<std::pair<std::string, std::string>> fields;
	bool has_header_frame = false; // the file stores its own frame number
	int64_t header_frame = 0;
};

// Reads every frame of the range [first, last] that is on disk, each file once, on `threads`
// threads (0: the machine's cores). progress(done, total) is called as each frame finishes, one
// call at a time. For an SD scene the file is opened once and each of its frames read from it.
std::vector<FrameFacts> ReadFrameFacts(const SequenceFiles& files, int32_t first, int32_t last, int threads,
	const std::function<void(int64_t, int64_t)>& progress);

struct Finding
{
	int32_t frame;
	std::string kind; // "missing", "unreadable", "header", "frame-number", "count-jump"
	std::string message;
	// For "header": the field, this frame's value and the one most frames hold.
	std::string field, value, expected;
	// For "count-jump": the frame before and both counts.
	int32_t previous_frame = 0;
	int64_t previous_count = 0, count = 0;
};

// The findings in frame order. A count jump is a change between two frames that read, one after the
// other, by more than `jump` times; growth from nothing is not one (emission starts from nothing), a
// fall to nothing is. A header field is compared with the value most frames hold (the earliest frame's
// on a tie).
std::vector<Finding> FindProblems(const SequenceFiles& files, const std::vector<FrameFacts>& facts, double jump);

// "particles" or "vertices", for messages.
const char* CountNoun(int32_t format);
