// chunk_write_test.cpp - files written chunk by chunk on several threads hold exactly the bytes of their
// header and sections, whatever the chunk size and however items straddle the chunks' edges.
#include "chunk_write.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace
{

// Byte k of item i of a section: different for every section, item and byte.
unsigned char Pattern(int section, int64_t item, int64_t k)
{
	return static_cast<unsigned char>(section * 101 + item * 7 + k * 13 + 1);
}

// Sections of {count, item_bytes}, each item filled with its pattern.
std::vector<ChunkSection> Sections(const std::vector<std::pair<int64_t, int64_t>>& shapes)
{
	std::vector<ChunkSection> sections;
	for (size_t j = 0; j < shapes.size(); ++j)
	{
		const int section = static_cast<int>(j);
		const int64_t item_bytes = shapes[j].second;
		sections.push_back({shapes[j].first, item_bytes, [section, item_bytes](unsigned char* dst, int64_t first, int64_t n) {
								for (int64_t i = 0; i < n; ++i)
									for (int64_t k = 0; k < item_bytes; ++k)
										*dst++ = Pattern(section, first + i, k);
							}});
	}
	return sections;
}

std::string Expected(const std::string& header, const std::vector<std::pair<int64_t, int64_t>>& shapes)
{
	std::string bytes = header;
	for (size_t j = 0; j < shapes.size(); ++j)
		for (int64_t i = 0; i < shapes[j].first; ++i)
			for (int64_t k = 0; k < shapes[j].second; ++k)
				bytes += static_cast<char>(Pattern(static_cast<int>(j), i, k));
	return bytes;
}

bool WriteNew(const std::string& path, const std::string& header, const std::vector<ChunkSection>& sections,
	const ChunkWriteOptions& options)
{
	const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
	const bool ok = fd >= 0 && WriteChunked(fd, header, sections, options);
	return close(fd) == 0 && ok;
}

} // namespace

TEST(ChunkedFileWrite, EveryChunkSizeAndThreadCountGivesTheSameBytes)
{
	TempDir dir;
	const std::string header = "a header of some forty-five bytes, no more..\n";
	// items of odd sizes straddle every chunk edge; an empty section in the middle takes no bytes
	const std::vector<std::pair<int64_t, int64_t>> shapes = {{200, 110}, {0, 4}, {357, 13}, {5, 1}};
	const std::string expected = Expected(header, shapes);
	const std::vector<ChunkSection> sections = Sections(shapes);
	EXPECT_EQ(ChunkedBytes(header, sections), static_cast<int64_t>(expected.size()));
	for (const int64_t chunk : {int64_t(7), int64_t(45), int64_t(110), int64_t(4096), int64_t(1) << 30})
		for (const int threads : {1, 3, 0})
		{
			EXPECT_TRUE(WriteNew(dir / "out", header, sections, {chunk, threads})) << chunk << " " << threads;
			EXPECT_TRUE(ReadFile(dir / "out") == expected) << "chunks of " << chunk << " bytes, " << threads << " threads";
		}
}

TEST(ChunkedFileWrite, AHeaderLongerThanAChunkAndAnEmptyFile)
{
	TempDir dir;
	const std::string header(300, 'h');
	const std::vector<std::pair<int64_t, int64_t>> shapes = {{3, 50}};
	EXPECT_TRUE(WriteNew(dir / "out", header, Sections(shapes), {64, 2}));
	EXPECT_TRUE(ReadFile(dir / "out") == Expected(header, shapes));
	EXPECT_TRUE(WriteNew(dir / "empty", "", Sections({{0, 8}}), {}));
	EXPECT_TRUE(ReadFile(dir / "empty").empty());
}

TEST(ChunkedFileWrite, AFailedWriteIsReportedWithItsReason)
{
	TempDir dir;
	const std::string path = dir / "out";
	WriteFile(path, "");
	const int fd = open(path.c_str(), O_RDONLY);
	ASSERT_GE(fd, 0);
	errno = 0;
	EXPECT_FALSE(WriteChunked(fd, "header\n", Sections({{20000, 12}}), {1024, 2}));
	EXPECT_EQ(errno, EBADF);
	close(fd);
}
