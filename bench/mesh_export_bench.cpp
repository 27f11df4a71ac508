// mesh_export_bench.cpp - writing one mesh frame of an imported-looking polygon object against a memcpy of the
// written file's bytes.
#include "c4d_polygon.h"
#include "mesh_build.h"
#include "mesh_export.h"

#include "bench_frames.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{

const Int32 kPoints = 1000000;
const Int32 kTriangles = 2000000;
const Int32 kWeightMaps = 3;

void AppendTag(BaseObject* op, BaseTag* tag, const char* name)
{
	BaseTag* last = op->GetFirstTag();
	while (last && last->GetNext())
		last = last->GetNext();
	tag->SetName(String(name));
	op->InsertTag(tag, last);
}

// What a Mesh Importer builds from a 1,000,000-vertex frame: triangles over a grid, the UVW tag, the
// three speed maps and three weight maps.
PolygonObject* ImportedLookingMesh()
{
	PolygonObject* op = PolygonObject::Alloc(kPoints, kTriangles);
	if (!op)
		std::abort();
	Vector* points = op->GetPointW();
	for (Int32 i = 0; i < kPoints; ++i)
		points[i] = Vector(static_cast<Float>(i % 1000), static_cast<Float>((i % 1000) * (i / 1000)) * 0.001, static_cast<Float>(i / 1000));
	CPolygon* polygons = op->GetPolygonW();
	UVWTag* uvw = UVWTag::Alloc(kTriangles);
	if (!uvw)
		std::abort();
	for (Int32 f = 0; f < kTriangles; ++f)
	{
		const Int32 a = f / 2;
		polygons[f] = CPolygon(a, (a + 1) % kPoints, (a + 1000 + (f & 1)) % kPoints);
		const Vector t(static_cast<Float>(a % 1000) * 0.001, static_cast<Float>(a / 1000) * 0.001, 0.0);
		UVWTag::Set(uvw->GetDataAddressW(), f, UVWStruct(t, t, t, t));
	}
	AppendTag(op, uvw, TW_MESH_UV);
	const char* weight_names[kWeightMaps] = {"TW_Mesh_Weight_1", "TW_Mesh_Weight_2", "TW_Mesh_Weight_3"};
	for (Int32 m = 0; m < 3 + kWeightMaps; ++m)
	{
		VertexMapTag* map = VertexMapTag::Alloc(kPoints);
		if (!map)
			std::abort();
		Float32* v = map->GetDataAddressW();
		for (Int32 i = 0; i < kPoints; ++i)
			v[i] = static_cast<Float32>((i + m) % 97) * 0.01f;
		AppendTag(op, map, m < 3 ? TW_MESH_SPEED_XYZ[m] : weight_names[m - 3]);
	}
	return op;
}

double Seconds(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b)
{
	return std::chrono::duration<double>(b - a).count();
}

// Every iteration writes the frame anew (analysis, pieces, file) as each step of an export does once the
// document is evaluated, with the writer of the run; beside it the same run times a memcpy of the written file's bytes.
// The first argument 1 writes the texture block (which reads the UVW tag's 96 bytes per polygon), 0 leaves it out.
// The second argument 0 writes over the last iteration's file, as an export run again into its folder does;
// 1 removes it first, untimed, as a first export into an empty folder finds no file (the plain write alike).
void BM_MeshExportWriteFrame(benchmark::State& state)
{
	char templ[] = "/tmp/tw_mesh_export_bench_XXXXXX";
	if (!mkdtemp(templ))
		std::abort();
	const std::string path = std::string(templ) + "/surface00000.bin";
	PolygonObject* mesh = ImportedLookingMesh();
	MeshExportOptions options;
	options.texture = state.range(0) != 0;
	const MeshNextPositions next;
	char reason[256];
	MeshExportWriter writer;
	if (!writer.Write(mesh, options, next, 25, path.c_str(), reason))
		std::abort();
	const int64_t file_bytes = BenchFileBytes(path);
	MemcpyProbe probe(file_bytes);
	// What putting the same bytes into a file costs by itself: the floor of any writer.
	const std::string plain_path = std::string(templ) + "/plain.bin";
	const std::vector<char> plain(static_cast<size_t>(file_bytes), 1);
	std::vector<double> writes, copies, plain_writes;
	const bool fresh = state.range(1) != 0;
	for (auto _ : state)
	{
		copies.push_back(probe.Seconds());
		if (fresh)
		{
			unlink(plain_path.c_str());
			unlink(path.c_str());
		}
		const auto p0 = std::chrono::steady_clock::now();
		FILE* f = std::fopen(plain_path.c_str(), "wb");
		if (!f || std::fwrite(plain.data(), 1, plain.size(), f) != plain.size() || std::fclose(f) != 0)
			state.SkipWithError("plain write failed");
		plain_writes.push_back(Seconds(p0, std::chrono::steady_clock::now()));
		const auto t0 = std::chrono::steady_clock::now();
		if (!writer.Write(mesh, options, next, 25, path.c_str(), reason))
			state.SkipWithError(reason);
		const auto t1 = std::chrono::steady_clock::now();
		writes.push_back(Seconds(t0, t1));
		state.SetIterationTime(Seconds(t0, t1));
	}
	state.counters["write_ms"] = Median(writes) * 1e3;
	state.counters["memcpy_ms"] = Median(copies) * 1e3;
	state.counters["ratio"] = Median(writes) / Median(copies);
	state.counters["plain_file_ms"] = Median(plain_writes) * 1e3;
	state.counters["file_MB"] = static_cast<double>(file_bytes) / 1e6;
	state.SetBytesProcessed(state.iterations() * file_bytes);
	BaseObject* op = mesh;
	BaseObject::Free(op);
	unlink(path.c_str());
	unlink(plain_path.c_str());
	rmdir(templ);
}

BENCHMARK(BM_MeshExportWriteFrame)->Args({1, 0})->Args({0, 0})->Args({1, 1})->UseManualTime()->Iterations(15)->Unit(benchmark::kMillisecond);

} // namespace
