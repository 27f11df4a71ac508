// read_failure_test.cpp - the reason a reader leaves in its record when a frame does not read.
#include "cache_internal.h"
#include "cache_types.h"
#include "mesh_bin.h"
#include "mesh_md.h"
#include "particle_bin.h"
#include "particle_pxy.h"
#include "particle_tpc.h"

#include "cache/mesh_test_util.h"
#include "cache/particle_test_util.h"
#include "cache/tpc_test_util.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace
{

// Reads the file at path and returns the record's reason, "read" after a good read.
using Reader = std::function<std::string(const std::string&)>;

std::string Reason(const char* failure, int ok)
{
	if (ok)
		return failure ? std::string("read, but failure says ") + failure : "read";
	return failure ? failure : "(no reason)";
}

std::string ReadBin(const std::string& path)
{
	BinParticleFrame* f = OpenParticleBin(path.c_str(), 0);
	const int ok = ReadParticleBin(f, 100.0f);
	const std::string why = Reason(f->failure, ok);
	FreeParticleBin(f);
	return why;
}

std::string ReadPxyFile(const std::string& path)
{
	PxyParticleFrame* f = OpenPxy(path.c_str());
	const int ok = ReadPxy(f, 100.0f);
	const std::string why = Reason(f->failure, ok);
	FreePxy(f);
	return why;
}

std::string ReadTpcFile(const std::string& path)
{
	TpcParticleFrame* f = OpenTpc(path.c_str());
	const int ok = ReadTpc(f, 100.0f);
	const std::string why = Reason(f->failure, ok);
	FreeTpc(f);
	return why;
}

Reader ReadMesh(int32_t type)
{
	return [type](const std::string& path) {
		MeshHandle* h = MeshHandleOpen(path.c_str(), type);
		const int ok = MeshHandleRead(h, 100.0f);
		const char* failure = type == CACHE_MESH_MD ? MeshHandleMdFile(h)->failure : MeshHandleBinFile(h)->failure;
		const std::string why = Reason(failure, ok);
		MeshHandleFree(h);
		return why;
	};
}

std::vector<unsigned char> GoodBin(const TempDir& dir)
{
	const std::string path = dir.File("good.bin");
	EXPECT_EQ(WriteTestFrame(path, 12, 4), 1);
	return ReadBytes(path);
}

std::vector<unsigned char> Pxy(float version, int32_t count, int records)
{
	FileBytes b;
	b.F32(version).U32(static_cast<uint32_t>(count));
	for (int i = 0; i < records; ++i)
		b.U32(static_cast<uint32_t>(i)).U32(0).F32(1.0f).F32(2.0f).F32(3.0f).F32(0.0f).F32(0.0f).F32(0.0f);
	return b.b;
}

std::vector<unsigned char> Tpc(std::vector<std::vector<unsigned char>> blocks = {}, int32_t version = 3)
{
	return TpcBytes(2, {{"position", 1, Floats({1, 2, 3, 4, 5, 6})}}, std::move(blocks), version);
}

// A mesh .bin: V vertices, one face with the given corners, no texture or velocity block.
std::vector<unsigned char> MeshBin(uint32_t magic, uint32_t v, uint32_t corner)
{
	FileBytes b;
	b.U32(magic).U32(MESH_BIN_VERSION).U32(MESH_BIN_HEADER_MARKER).U32(v);
	for (uint32_t i = 0; i < v; ++i)
		b.F32(0.0f).F32(1.0f).F32(2.0f);
	b.U32(1).U32(corner).U32(1).U32(0); // F = 1, stored in reverse corner order
	b.U32(0).U32(0).U32(MESH_BIN_END_MARKER); // texture marker, velocity marker, end
	return b.b;
}

// An .md file with one vector "position" channel, V vertices (values given for `stored` of them) and
// one face.
std::vector<unsigned char> Md(uint32_t magic, uint32_t v, uint32_t stored, uint32_t corner)
{
	FileBytes b;
	b.U32(magic).U16(1).U32(0); // magic, version, name length
	b.U32(1).U32(v).U32(1); // channels, vertices, faces
	b.U32(0).U32(8).Raw("position").U32(0).U32(MESH_MD_VALUE_VECTOR);
	for (uint32_t i = 0; i < stored; ++i)
		b.F32(1.0f).F32(2.0f).F32(3.0f);
	if (stored == v)
		b.U32(corner).U32(0).U32(0);
	return b.b;
}

std::vector<unsigned char> Cut(std::vector<unsigned char> bytes, size_t keep)
{
	bytes.resize(keep);
	return bytes;
}

struct FailureCase
{
	const char* name;
	std::function<std::vector<unsigned char>(const TempDir&)> bytes;
	Reader read;
	std::string expected;
};

} // namespace

TEST(ReadFailure, EachReaderSaysWhyAFrameDidNotRead)
{
	const std::vector<FailureCase> cases = {
		{"bin good", GoodBin, ReadBin, "read"},
		{"bin magic",
			[](const TempDir& d) {
				auto b = GoodBin(d);
				b[0] ^= 0xFF;
				return b;
			},
			ReadBin, CACHE_FAIL_MAGIC},
		{"bin version",
			[](const TempDir& d) {
				auto b = GoodBin(d);
				StoreU16(&b[254], 8);
				return b;
			},
			ReadBin, CACHE_FAIL_VERSION},
		{"bin count",
			[](const TempDir& d) {
				auto b = GoodBin(d);
				StoreI32(&b[276], 5); // one particle more than the four records
				return b;
			},
			ReadBin, CACHE_FAIL_COUNT},
		{"bin header cut", [](const TempDir& d) { return Cut(GoodBin(d), 200); }, ReadBin, CACHE_FAIL_TRUNCATED},
		{"pxy good", [](const TempDir&) { return Pxy(2.5f, 2, 2); }, ReadPxyFile, "read"},
		{"pxy count", [](const TempDir&) { return Pxy(2.5f, 3, 2); }, ReadPxyFile, CACHE_FAIL_COUNT},
		{"pxy negative count", [](const TempDir&) { return Pxy(2.5f, -1, 0); }, ReadPxyFile, CACHE_FAIL_COUNT},
		{"pxy header cut", [](const TempDir&) { return Cut(Pxy(2.5f, 0, 0), 6); }, ReadPxyFile, CACHE_FAIL_TRUNCATED},
		{"tpc good", [](const TempDir&) { return Tpc(); }, ReadTpcFile, "read"},
		{"tpc magic",
			[](const TempDir&) {
				auto b = Tpc();
				b[3] = 0;
				return b;
			},
			ReadTpcFile, CACHE_FAIL_MAGIC},
		{"tpc version", [](const TempDir&) { return Tpc({}, 2); }, ReadTpcFile, CACHE_FAIL_VERSION},
		{"tpc block does not inflate", [](const TempDir&) { return Tpc({{0x78, 0x9C, 0xFF, 0xFF, 0xFF, 0xFF}}); },
			ReadTpcFile, CACHE_FAIL_INFLATE},
		{"tpc value type", [](const TempDir&) { return TpcBytes(1, {{"x", 12, {0}}}); }, ReadTpcFile,
			CACHE_FAIL_VALUE_TYPE},
		{"tpc block cut",
			[](const TempDir&) {
				auto b = Tpc();
				return Cut(b, b.size() - 3);
			},
			ReadTpcFile, CACHE_FAIL_COUNT},
		{"mesh good", [](const TempDir&) { return MeshBin(MESH_BIN_MAGIC, 2, 1); }, ReadMesh(CACHE_MESH_BIN), "read"},
		{"mesh magic", [](const TempDir&) { return MeshBin(0x12345678u, 2, 1); }, ReadMesh(CACHE_MESH_BIN),
			CACHE_FAIL_MAGIC},
		{"mesh corner", [](const TempDir&) { return MeshBin(MESH_BIN_MAGIC, 2, 2); }, ReadMesh(CACHE_MESH_BIN),
			CACHE_FAIL_INDEX},
		{"mesh count",
			[](const TempDir&) {
				auto b = MeshBin(MESH_BIN_MAGIC, 2, 1);
				StoreU32(&b[12], 1000); // more vertices than the file has bytes for
				return b;
			},
			ReadMesh(CACHE_MESH_BIN), CACHE_FAIL_TRUNCATED},
		{"chunked cut", [](const TempDir&) { return Cut(MeshBin(MESH_BIN_MAGIC, 2, 1), 10); },
			ReadMesh(CACHE_MESH_CHUNK), CACHE_FAIL_TRUNCATED},
		{"md good", [](const TempDir&) { return Md(MESH_MD_MAGIC, 2, 2, 1); }, ReadMesh(CACHE_MESH_MD), "read"},
		{"md magic", [](const TempDir&) { return Md(0xDABAFADBu, 2, 2, 1); }, ReadMesh(CACHE_MESH_MD),
			CACHE_FAIL_MAGIC},
		{"md count", [](const TempDir&) { return Md(MESH_MD_MAGIC, 5, 2, 1); }, ReadMesh(CACHE_MESH_MD),
			CACHE_FAIL_COUNT},
		{"md corner", [](const TempDir&) { return Md(MESH_MD_MAGIC, 2, 2, 7); }, ReadMesh(CACHE_MESH_MD),
			CACHE_FAIL_INDEX},
	};
	TempDir dir;
	for (const FailureCase& c : cases)
	{
		const std::string path = dir.File("frame");
		WriteBytes(path, c.bytes(dir));
		EXPECT_EQ(c.read(path), c.expected) << c.name;
	}
}

TEST(ReadFailure, AGoodReadClearsTheReasonOfTheLastOne)
{
	TempDir dir;
	const std::string path = dir.File("a.tpc");
	WriteBytes(path, Tpc({{0x78, 0x9C, 0xFF, 0xFF, 0xFF, 0xFF}}));
	TpcParticleFrame* f = OpenTpc(path.c_str());
	ASSERT_EQ(ReadTpc(f, 100.0f), 0);
	EXPECT_STREQ(f->failure, CACHE_FAIL_INFLATE);
	WriteBytes(path, Tpc());
	std::rewind(f->file);
	ASSERT_EQ(ReadTpc(f, 100.0f), 1);
	EXPECT_EQ(f->failure, nullptr);
	FreeTpc(f);
}
