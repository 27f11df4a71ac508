// cache_internal.cpp - the allocation hook and file helpers of the cache library.
#include "cache_internal.h"

#include <atomic>
#include <cstdlib>

#if defined(__linux__)
#include <sys/mman.h>
#endif

// Readers run on several threads at once (twconnect check reads one frame per core): the test
// hook's counters are atomic.
static std::atomic<int64_t> g_fail_after{-1};
static std::atomic<int64_t> g_live{0};

void* CacheAlloc(size_t size_bytes)
{
	for (int64_t left = g_fail_after.load(std::memory_order_relaxed); left >= 0;)
	{
		if (left == 0)
			return nullptr;
		if (g_fail_after.compare_exchange_weak(left, left - 1, std::memory_order_relaxed))
			break;
	}
	void* p = nullptr;
#if defined(__linux__)
	// A frame's arrays (114 MB for a million particles) are written once from fresh memory: in
	// 2 MB pages that is one page fault where 4 KB pages take 512. A window holds 2r + 1 of them.
	const size_t huge_page = size_t(2) << 20;
	if (size_bytes >= 16 * huge_page && size_bytes <= SIZE_MAX - huge_page)
	{
		const size_t rounded = (size_bytes + huge_page - 1) / huge_page * huge_page;
		p = std::aligned_alloc(huge_page, rounded);
		if (p)
			madvise(p, rounded, MADV_HUGEPAGE);
	}
	else
#endif
		p = std::malloc(size_bytes ? size_bytes : 1);
	if (p)
		++g_live;
	return p;
}

void* CacheCalloc(size_t count, size_t size_bytes)
{
	if (size_bytes && count > SIZE_MAX / size_bytes)
		return nullptr;
	void* p = CacheAlloc(count * size_bytes);
	if (p)
		std::memset(p, 0, count * size_bytes);
	return p;
}

void CacheFree(void* p)
{
	if (!p)
		return;
	--g_live;
	std::free(p);
}

void CacheSetAllocFailAfter(int64_t successes)
{
	g_fail_after = successes;
}

int64_t CacheLiveAllocations()
{
	return g_live;
}

int64_t CacheFileSize(FILE* f)
{
	if (!f || fseeko(f, 0, SEEK_END) != 0)
		return -1;
	int64_t size = ftello(f);
	if (fseeko(f, 0, SEEK_SET) != 0)
		return -1;
	return size;
}

void CacheCopyName(char* dst, size_t dst_size, const char* src, size_t src_len)
{
	if (!dst || dst_size == 0)
		return;
	size_t n = 0;
	if (src)
		while (n < src_len && n + 1 < dst_size && src[n] != '\0')
			++n;
	if (n)
		std::memcpy(dst, src, n);
	dst[n] = '\0';
}
