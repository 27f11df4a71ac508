// sd_export_bench.cpp - a whole SD export of an animated scene: frames per second, where the time goes
// (evaluating the document against writing), and the writing against a memcpy of the bytes written.
#include "c4d_polygon.h"
#include "headless.h"
#include "sd_export.h"

#include "bench_frames.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{

const Int32 kObjects = 20;
const Int32 kVertexObjects = 2;
const Int32 kGridSide = 317; // 100,489 points
const Int32 kFrames = 200;
const Int32 kWave = 1999301; // this benchmark's deformer

// Ripples every point of what it deforms along y with the document's time, so that each frame's
// evaluation deforms both large objects anew.
class WaveDeformer : public ObjectData
{
public:
	static NodeData* Alloc() { return new WaveDeformer(); }
	void CheckDirty(BaseObject* op, BaseDocument* doc) override
	{
		(void)doc;
		op->SetDirty(DIRTYFLAGS_DATA);
	}
	Bool ModifyObject(BaseObject* mod, BaseDocument* doc, BaseObject* op, const Matrix& op_mg, const Matrix& mod_mg,
		Float lod, Int32 flags, BaseThread* thread) override
	{
		(void)mod; (void)op_mg; (void)mod_mg; (void)lod; (void)flags; (void)thread;
		PolygonObject* poly = dynamic_cast<PolygonObject*>(op);
		if (!poly)
			return false;
		const Float t = doc->GetTime().Get();
		Vector* p = poly->GetPointW();
		for (Int32 i = 0, n = poly->GetPointCount(); i < n; ++i)
			p[i].y += 5.0 * std::sin(0.05 * p[i].x + 3.0 * t) * std::cos(0.05 * p[i].z);
		return true;
	}
};

// A grid of side x side points in the xz plane, 10 units apart, as quads.
PolygonObject* Grid(Int32 side)
{
	PolygonObject* op = PolygonObject::Alloc(side * side, (side - 1) * (side - 1));
	if (!op)
		std::abort();
	Vector* p = op->GetPointW();
	for (Int32 i = 0; i < side * side; ++i)
		p[i] = Vector(10.0 * (i % side), 0.0, 10.0 * (i / side));
	CPolygon* q = op->GetPolygonW();
	for (Int32 r = 0; r + 1 < side; ++r)
		for (Int32 c = 0; c + 1 < side; ++c)
		{
			const Int32 a = r * side + c;
			q[r * (side - 1) + c] = CPolygon(a, a + 1, a + side + 1, a + side);
		}
	return op;
}

// Twenty objects, each moving and turning over the range: two large grids under a wave deformer, the
// rest cubes of 8 points.
void BuildScene(BaseDocument* doc)
{
	const Int32 fps = doc->GetFps();
	for (Int32 k = kObjects - 1; k >= 0; --k)
	{
		PolygonObject* op = k < kVertexObjects ? Grid(kGridSide) : Grid(2);
		char name[32];
		std::snprintf(name, sizeof name, k < kVertexObjects ? "Surface %d" : "Piece %d", k);
		op->SetName(String(name));
		doc->InsertObject(op, nullptr, nullptr);
		for (Int32 c = 0; c < 3; ++c)
		{
			headless::KeyComponent(op, ID_BASEOBJECT_REL_POSITION, VECTOR_X + c, 0, 10.0 * k, fps);
			headless::KeyComponent(op, ID_BASEOBJECT_REL_POSITION, VECTOR_X + c, kFrames - 1, 10.0 * k + 100.0 * (c + 1), fps);
			headless::KeyComponent(op, ID_BASEOBJECT_REL_ROTATION, VECTOR_X + c, 0, 0.0, fps);
			headless::KeyComponent(op, ID_BASEOBJECT_REL_ROTATION, VECTOR_X + c, kFrames - 1, 0.5 * (c + 1), fps);
		}
		if (k < kVertexObjects)
		{
			BaseObject* wave = BaseObject::Alloc(kWave);
			if (!wave)
				std::abort();
			doc->InsertObject(wave, op, nullptr);
		}
	}
	doc->SetMinTime(BaseTime(0.0));
	doc->SetMaxTime(BaseTime(kFrames - 1, fps));
	doc->SetTime(BaseTime(0.0));
	doc->ExecutePasses(nullptr, true, true, true, 0);
}

// A memcpy of `bytes` through buffers larger than the caches, as the written bytes stream through
// memory once: the time of one pass over a 64 MB probe, scaled.
double MemcpySeconds(int64_t bytes)
{
	const int64_t probe_bytes = std::min<int64_t>(bytes, int64_t(64) << 20);
	MemcpyProbe probe(probe_bytes);
	std::vector<double> t;
	for (int k = 0; k < 5; ++k)
		t.push_back(probe.Seconds());
	return Median(t) * static_cast<double>(bytes) / static_cast<double>(probe_bytes);
}

// What putting `bytes` into a new file costs by itself, in 1 MB writes: the floor of any writer.
double PlainFileSeconds(const std::string& path, int64_t bytes)
{
	const std::vector<char> block(size_t(1) << 20, 1);
	const auto t0 = std::chrono::steady_clock::now();
	FILE* f = std::fopen(path.c_str(), "wb");
	for (int64_t left = bytes; f && left > 0;)
	{
		const size_t n = static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(block.size())));
		if (std::fwrite(block.data(), 1, n, f) != n)
			break;
		left -= static_cast<int64_t>(n);
	}
	if (!f || std::fclose(f) != 0)
		std::abort();
	const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
	unlink(path.c_str());
	return seconds;
}

// Each iteration is one whole export of 200 frames into a file, removed after it: the two grids in
// vertex mode, the cubes in matrix mode, no camera.
void BM_SdExportScene(benchmark::State& state)
{
	if (!LoadBenchModule())
	{
		state.SkipWithError("module did not load");
		return;
	}
	static const bool registered =
		RegisterObjectPlugin(kWave, "Wave", OBJECT_MODIFIER, WaveDeformer::Alloc, String(), nullptr, 0);
	if (!registered)
	{
		state.SkipWithError("the wave deformer did not register");
		return;
	}
	char templ[] = "/tmp/tw_sd_export_bench_XXXXXX";
	if (!mkdtemp(templ))
		std::abort();
	BaseDocument* doc = BaseDocument::Alloc();
	doc->SetFps(25);
	headless::SetActiveDocument(doc);
	BuildScene(doc);

	SdExportSettings settings;
	settings.path = std::string(templ) + "/scene.sd";
	settings.start = 0;
	settings.end = kFrames - 1;
	{
		SdExportCandidates candidates(doc);
		for (const SdExportEntry& e : candidates.Entries())
			settings.rows.push_back({e.row_id, e.PointCount() > 1000});
	}
	if (settings.rows.size() != static_cast<size_t>(kObjects))
		state.SkipWithError("the scene does not offer its twenty objects");

	std::vector<double> totals, evaluates, writes, transfers;
	int64_t bytes = 0;
	for (auto _ : state)
	{
		SdExportTimes times;
		const auto t0 = std::chrono::steady_clock::now();
		if (!SdExport(doc, settings, [](const char*) {}, &times))
		{
			state.SkipWithError("the export failed");
			break;
		}
		const double total = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
		state.SetIterationTime(total);
		totals.push_back(total);
		evaluates.push_back(times.evaluate);
		writes.push_back(times.write);
		transfers.push_back(times.transfer);
		bytes = times.bytes;
		state.PauseTiming();
		unlink(settings.path.c_str());
		state.ResumeTiming();
	}
	if (!totals.empty())
	{
		const double total = Median(totals), evaluate = Median(evaluates), write = Median(writes);
		const double transfer = Median(transfers);
		const double copy = MemcpySeconds(bytes);
		state.counters["frames_per_s"] = kFrames / total;
		state.counters["evaluate_share"] = evaluate / total;
		state.counters["write_share"] = write / total;
		state.counters["write_ms"] = write * 1e3;
		state.counters["memcpy_ms"] = copy * 1e3;
		state.counters["write_vs_memcpy"] = write / copy;
		// the writer's own work (records, points transformed into metres) apart from the system's copy
		// of the bytes into the file, which the plain file write below shows by itself
		state.counters["build_vs_memcpy"] = (write - transfer) / copy;
		state.counters["transfer_ms"] = transfer * 1e3;
		state.counters["plain_file_ms"] = PlainFileSeconds(settings.path, bytes) * 1e3;
		state.counters["file_MB"] = static_cast<double>(bytes) / 1e6;
		state.SetBytesProcessed(state.iterations() * bytes);
	}
	headless::SetActiveDocument(nullptr);
	BaseDocument::Free(doc);
	unlink(settings.path.c_str());
	rmdir(templ);
}

BENCHMARK(BM_SdExportScene)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace
