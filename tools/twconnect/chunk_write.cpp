// chunk_write.cpp - a header and sections of items written in file-aligned chunks by several threads.
#include "chunk_write.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

int64_t ChunkedBytes(const std::string& header, const std::vector<ChunkSection>& sections)
{
	int64_t total = static_cast<int64_t>(header.size());
	for (const ChunkSection& s : sections)
		total += s.count * s.item_bytes;
	return total;
}

namespace
{

bool WriteAt(int fd, const unsigned char* bytes, int64_t n, int64_t offset)
{
	while (n > 0)
	{
		const ssize_t done = pwrite(fd, bytes, static_cast<size_t>(n), offset);
		if (done < 0 && errno == EINTR)
			continue;
		if (done <= 0)
		{
			if (done == 0)
				errno = EIO;
			return false;
		}
		bytes += done;
		n -= done;
		offset += done;
	}
	return true;
}

// Lays out file bytes [begin, end) at `at`. Items that straddle either edge are laid out whole, so `at`
// has room of the largest item before and after.
void LayOut(const std::string& header, const std::vector<ChunkSection>& sections, int64_t begin, int64_t end,
	unsigned char* at)
{
	const int64_t header_bytes = static_cast<int64_t>(header.size());
	if (begin < header_bytes)
		std::memcpy(at, header.data() + begin, static_cast<size_t>(std::min(end, header_bytes) - begin));
	int64_t section_begin = header_bytes;
	for (const ChunkSection& s : sections)
	{
		const int64_t section_end = section_begin + s.count * s.item_bytes;
		const int64_t from = std::max(begin, section_begin), to = std::min(end, section_end);
		if (from < to)
		{
			const int64_t first = (from - section_begin) / s.item_bytes;
			const int64_t last = (to - section_begin + s.item_bytes - 1) / s.item_bytes;
			s.fill(at + (section_begin + first * s.item_bytes - begin), first, last - first);
		}
		section_begin = section_end;
	}
}

} // namespace

bool WriteChunked(int fd, const std::string& header, const std::vector<ChunkSection>& sections,
	const ChunkWriteOptions& options)
{
	const int64_t total = ChunkedBytes(header, sections);
	if (total == 0)
		return true;
#ifdef __linux__
	// Other refusals (a filesystem that cannot reserve) only cost the speed.
	if (fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, total) != 0 && (errno == ENOSPC || errno == EFBIG || errno == EBADF))
		return false;
#endif
	const int64_t chunk_bytes = std::max<int64_t>(1, options.chunk_bytes);
	const int64_t chunks = (total + chunk_bytes - 1) / chunk_bytes;
	int64_t margin = 1;
	for (const ChunkSection& s : sections)
		margin = std::max(margin, s.item_bytes);
	int threads = options.threads;
	if (threads <= 0)
	{
		const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
		// a thread pays off once it has a few chunks of its own
		threads = static_cast<int>(std::min<int64_t>({4, cores, std::max<int64_t>(1, chunks / 2)}));
	}
	threads = static_cast<int>(std::min<int64_t>(threads, chunks));

	std::atomic<int64_t> next{0};
	std::atomic<int> failure{0};
	auto fail = [&](int error) {
		int none = 0;
		failure.compare_exchange_strong(none, error ? error : EIO);
	};
	// Each thread takes the next chunk to be done: the chunk's buffer stays in that core's cache from its
	// layout to its write.
	auto work = [&]() {
		try
		{
			std::vector<unsigned char> buffer(static_cast<size_t>(std::min(chunk_bytes, total) + 2 * margin));
			unsigned char* const at = buffer.data() + margin;
			for (int64_t c; !failure.load(std::memory_order_relaxed) && (c = next.fetch_add(1)) < chunks;)
			{
				const int64_t begin = c * chunk_bytes, end = std::min(total, begin + chunk_bytes);
				LayOut(header, sections, begin, end, at);
				if (!WriteAt(fd, at, end - begin, begin))
					fail(errno);
			}
		}
		catch (const std::bad_alloc&)
		{
			fail(ENOMEM);
		}
	};
	std::vector<std::thread> helpers;
	try
	{
		for (int t = 1; t < threads; ++t)
			helpers.emplace_back(work);
	}
	catch (const std::system_error&)
	{
		// fewer threads only take longer
	}
	work();
	for (std::thread& t : helpers)
		t.join();
	if (failure.load())
	{
		errno = failure.load();
		return false;
	}
	return true;
}
