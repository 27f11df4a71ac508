// mesh_test_util.h - hand-made mesh files for the cache tests: little- and big-endian byte builders and
// the checks every reader must pass on damaged input.
#pragma once

#include "cache_internal.h"
#include "frame_cache.h"
#include "frame_sequence.h"
#include "mesh_bin.h"
#include "particle_test_util.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

// A mesh frame file opened, read and closed through the handle layer; null when the read failed.
inline MeshHandle* ReadMeshFile(const std::string& path, int32_t type, float percent)
{
	MeshHandle* h = MeshHandleOpen(path.c_str(), type);
	if (h && !MeshHandleRead(h, percent))
	{
		MeshHandleFree(h);
		return nullptr;
	}
	MeshHandleCloseFile(h);
	return h;
}

// Bytes of a file in the making.
struct FileBytes
{
	std::vector<unsigned char> b;

	FileBytes& U16(uint16_t v)
	{
		b.push_back(static_cast<unsigned char>(v));
		b.push_back(static_cast<unsigned char>(v >> 8));
		return *this;
	}
	FileBytes& U32(uint32_t v)
	{
		for (int i = 0; i < 4; ++i)
			b.push_back(static_cast<unsigned char>(v >> (8 * i)));
		return *this;
	}
	FileBytes& F32(float f)
	{
		uint32_t u;
		std::memcpy(&u, &f, 4);
		return U32(u);
	}
	FileBytes& BeU16(uint16_t v)
	{
		b.push_back(static_cast<unsigned char>(v >> 8));
		b.push_back(static_cast<unsigned char>(v));
		return *this;
	}
	FileBytes& BeU32(uint32_t v)
	{
		for (int i = 3; i >= 0; --i)
			b.push_back(static_cast<unsigned char>(v >> (8 * i)));
		return *this;
	}
	FileBytes& BeF32(float f)
	{
		uint32_t u;
		std::memcpy(&u, &f, 4);
		return BeU32(u);
	}
	// The bytes of s without a terminator.
	FileBytes& Raw(const std::string& s)
	{
		b.insert(b.end(), s.begin(), s.end());
		return *this;
	}
	FileBytes& Raw(std::initializer_list<unsigned char> bytes)
	{
		b.insert(b.end(), bytes);
		return *this;
	}
	FileBytes& Append(const FileBytes& more)
	{
		b.insert(b.end(), more.b.begin(), more.b.end());
		return *this;
	}
	size_t Size() const { return b.size(); }
};

// Reads every prefix of `whole` through `read` (1 = read): each must read or fail, and leave no
// allocation behind. Returns how many prefixes read.
inline int ReadEveryPrefix(const std::string& path, const std::vector<unsigned char>& whole,
	const std::function<int(const std::string&)>& read)
{
	const int64_t baseline = CacheLiveAllocations();
	int reads = 0;
	for (size_t n = 0; n <= whole.size(); ++n)
	{
		WriteBytes(path, std::vector<unsigned char>(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n)));
		reads += read(path);
		EXPECT_EQ(CacheLiveAllocations(), baseline) << n << " bytes";
	}
	return reads;
}

// Makes every allocation in turn fail while `run` works; it must fail cleanly each time until it has
// room to succeed. Returns the number of allocations the run needed.
inline int64_t FailEveryAllocation(const std::function<bool()>& run)
{
	const int64_t baseline = CacheLiveAllocations();
	for (int64_t n = 0; n < 200; ++n)
	{
		CacheSetAllocFailAfter(n);
		const bool done = run();
		CacheSetAllocFailAfter(-1);
		EXPECT_EQ(CacheLiveAllocations(), baseline) << "failing after " << n;
		if (done)
			return n;
	}
	ADD_FAILURE() << "never succeeded";
	return -1;
}

// A one-frame cache over the sequence of `first_file`: every new frame flushes the one before and reads
// into its recycled arrays, as when the timeline plays.
class OneFrameCache
{
public:
	OneFrameCache(const std::string& first_file, int32_t format)
	{
		sequence_.format = format;
		sequence_.SetName(first_file.c_str(), true, true);
		settings_.sequence = &sequence_;
		settings_.mode = FRAME_CACHE_ONE;
		settings_.load_percentage = 100.0f;
		InitCache(&cache_, &settings_);
	}
	~OneFrameCache() { ReleaseCache(&cache_, &settings_); }
	OneFrameCache(const OneFrameCache&) = delete;
	OneFrameCache& operator=(const OneFrameCache&) = delete;

	MeshHandle* Get(int32_t frame) { return SlotMeshHandle(GetFrame(&cache_, &settings_, frame)); }

private:
	FrameSequence sequence_;
	FrameCacheSettings settings_ = {};
	FrameCache cache_ = {};
};
