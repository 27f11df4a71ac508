// chunk_write.h - writes a file made of a header and sections of fixed-size items, cut into chunks that
// several threads lay out and write where each belongs.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Part of a file after its header: `count` items of `item_bytes` each.
struct ChunkSection
{
	int64_t count = 0;
	int64_t item_bytes = 0;
	// Lays out items first .. first + n - 1 at dst, one after the other, writing nothing beyond them.
	// Called from several threads at once, for ranges that may overlap by an item at their ends.
	std::function<void(unsigned char* dst, int64_t first, int64_t n)> fill;
};

struct ChunkWriteOptions
{
	// Chunks start at multiples of this in the file, so that each fills whole pages of its own.
	int64_t chunk_bytes = 512 << 10;
	// 0: one per core, at most 4, and fewer when the file has few chunks.
	int threads = 0;
};

// The bytes the header and sections take.
int64_t ChunkedBytes(const std::string& header, const std::vector<ChunkSection>& sections);

// Writes `header` and then the sections' items into descriptor `fd`, which must be open for writing and
// empty, from offset 0. Each thread lays out a chunk in a buffer that stays in its core's cache and
// writes it at its place, so that laying out and writing overlap. The file's space is reserved first: the
// filesystem then allocates it in one piece, and a full disk shows before anything is written. False
// with errno set when a write fails; what was written is then incomplete.
bool WriteChunked(int fd, const std::string& header, const std::vector<ChunkSection>& sections,
	const ChunkWriteOptions& options = {});
