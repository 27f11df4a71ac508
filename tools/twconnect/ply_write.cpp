// ply_write.cpp - a frame's table as a binary little-endian PLY file: the rows laid out from the
// table's columns, chunk by chunk, on the machine's cores.
#include "chunk_write.h"
#include "convert_write.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <unistd.h>

// The values are copied out of the readers' arrays as they lie in memory, and PLY is little-endian.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the PLY writer copies little-endian values");

namespace
{

// Rows are laid out a run at a time over this many rows, which stay in the core's first-level cache
// until every run has visited them.
constexpr int64_t kTileRows = 16;

// A run of columns whose values lie side by side both in memory and in the row (x, y, z of one array):
// copied as one piece per row.
struct Run
{
	const unsigned char* data;
	int64_t stride;
	int bytes;
	bool to_double; // a 64-bit integer that does not fit in an int, alone in its run
};

std::vector<Run> Runs(const std::vector<PlyColumn>& columns)
{
	std::vector<Run> runs;
	for (const PlyColumn& c : columns)
	{
		const bool to_double = c.from_int64 && c.type == PlyType::Double;
		const int bytes = PlyTypeBytes(c.type);
		if (!to_double && !c.from_int64 && !runs.empty() && !runs.back().to_double && runs.back().stride == c.stride &&
			runs.back().data + runs.back().bytes == c.data)
			runs.back().bytes += bytes;
		else
			runs.push_back({c.data, c.stride, bytes, to_double});
	}
	return runs;
}

// Copies a run of `n` rows from row `first` into rows of row_bytes.
template <int kBytes>
void ScatterRun(unsigned char* rows, int64_t row_bytes, const Run& r, int64_t first, int64_t n)
{
	const unsigned char* src = r.data + first * r.stride;
	for (int64_t i = 0; i < n; ++i, rows += row_bytes, src += r.stride)
		std::memcpy(rows, src, kBytes);
}

void ScatterDouble(unsigned char* rows, int64_t row_bytes, const Run& r, int64_t first, int64_t n)
{
	const unsigned char* src = r.data + first * r.stride;
	for (int64_t i = 0; i < n; ++i, rows += row_bytes, src += r.stride)
	{
		int64_t v;
		std::memcpy(&v, src, 8);
		const double d = static_cast<double>(v);
		std::memcpy(rows, &d, 8);
	}
}

void ScatterRun(unsigned char* rows, int64_t row_bytes, const Run& r, int64_t first, int64_t n)
{
	if (r.to_double)
	{
		ScatterDouble(rows, row_bytes, r, first, n);
		return;
	}
	// a 64-bit value that fits in an int is its low (first) four bytes: a plain copy of four
	switch (r.bytes)
	{
	case 1: ScatterRun<1>(rows, row_bytes, r, first, n); break;
	case 2: ScatterRun<2>(rows, row_bytes, r, first, n); break;
	case 4: ScatterRun<4>(rows, row_bytes, r, first, n); break;
	case 8: ScatterRun<8>(rows, row_bytes, r, first, n); break;
	case 12: ScatterRun<12>(rows, row_bytes, r, first, n); break;
	case 16: ScatterRun<16>(rows, row_bytes, r, first, n); break;
	default:
	{
		const unsigned char* src = r.data + first * r.stride;
		for (int64_t i = 0; i < n; ++i, rows += row_bytes, src += r.stride)
			std::memcpy(rows, src, static_cast<size_t>(r.bytes));
	}
	}
}

void LayRows(const std::vector<Run>& runs, int64_t row_bytes, unsigned char* dst, int64_t first, int64_t n)
{
	for (int64_t done = 0; done < n; done += kTileRows)
	{
		const int64_t m = std::min(kTileRows, n - done);
		unsigned char* at = dst + done * row_bytes;
		for (const Run& r : runs)
		{
			ScatterRun(at, row_bytes, r, first + done, m);
			at += r.bytes;
		}
	}
}

} // namespace

bool WritePly(const ConvertTable& table, FILE* out)
{
	std::string header = "ply\nformat binary_little_endian 1.0\ncomment written by twconnect convert; units as in the cache "
						 "file (metres)\nelement vertex " +
		std::to_string(table.rows) + "\n";
	int64_t row_bytes = 0;
	for (const PlyColumn& c : table.columns)
	{
		header += std::string("property ") + PlyTypeName(c.type) + " " + c.name + "\n";
		row_bytes += PlyTypeBytes(c.type);
	}
	const int64_t faces = static_cast<int64_t>(table.triangles.size() / 3);
	if (table.mesh)
		header += "element face " + std::to_string(faces) + "\nproperty list uchar int vertex_indices\n";
	header += "end_header\n";

	const std::vector<Run> runs = Runs(table.columns);
	std::vector<ChunkSection> sections;
	if (row_bytes > 0)
		sections.push_back({table.rows, row_bytes, [&](unsigned char* dst, int64_t first, int64_t n) {
								LayRows(runs, row_bytes, dst, first, n);
							}});
	sections.push_back({faces, 13, [&](unsigned char* dst, int64_t first, int64_t n) {
							for (int64_t i = 0; i < n; ++i, dst += 13)
							{
								dst[0] = 3;
								std::memcpy(dst + 1, &table.triangles[3 * (first + i)], 12);
							}
						}});

	// The rows go straight to the stream's file, each chunk at its place.
	const int fd = fileno(out);
	if (fd < 0 || std::fflush(out) != 0 || ftello(out) != 0)
	{
		errno = EINVAL;
		return false;
	}
	if (!WriteChunked(fd, header, sections))
		return false;
	return fseeko(out, ChunkedBytes(header, sections), SEEK_SET) == 0;
}
