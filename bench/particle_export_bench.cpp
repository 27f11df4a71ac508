// particle_export_bench.cpp - the Particle Exporter's group writer on a 1,000,000-particle frame.
//
// A Thinking Particles group of a million living particles with every channel the exporter reads is
// built once. Each timed call is the group writer alone (channel lookup, statistics, channel arrays,
// the file), as the export loop calls it after the document was evaluated; each is followed by a
// memcpy of the written file's bytes between two touched buffers, and the counters give both medians
// and their ratio.
#if defined(TW_DEFAULT_PLUGIN_DIR)

#include "headless.h"

#include "bench_frames.h"
#include "c4d_particles.h"
#include "c4d_symbols.h"
#include "particle_export.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace
{

const Int32 PARTICLES = 1000000;
const int WRITES = 11;

struct GroupScene
{
	BaseDocument* doc = nullptr;
	TP_PGroup* group = nullptr;

	GroupScene()
	{
		doc = BaseDocument::Alloc();
		doc->SetFps(25);
		headless::SetActiveDocument(doc);
		TP_MasterSystem* m = GetThinkingParticlesMaster(doc);
		if (!m)
			std::abort();
		// the channels in the order the Particle Importer adds them
		const struct
		{
			Int32 type;
			const char* name;
		} channels[] = {{DTYPE_VECTOR, "force"}, {DTYPE_VECTOR, "vorticity"}, {DTYPE_VECTOR, "normal"},
			{DTYPE_VECTOR, "texture"}, {DTYPE_LONG, "neighbors"}, {DTYPE_LONG, "infobit"}, {DTYPE_REAL, "isolation"},
			{DTYPE_REAL, "viscosity"}, {DTYPE_REAL, "density"}, {DTYPE_REAL, "pressure"}, {DTYPE_REAL, "temperature"},
			{DTYPE_LONG, "id"}};
		for (const auto& c : channels)
			m->AddDataChannel(c.type, String(c.name));
		group = m->AllocParticleGroup();
		group->SetName(String("bench"));
		m->InsertParticleGroup(nullptr, group, TP_INSERT_UNDERLAST);
		std::vector<Int32> ids(static_cast<size_t>(PARTICLES));
		if (m->AllocParticles(PARTICLES, ids.data()) != PARTICLES)
			std::abort();
		for (Int32 i = 0; i < PARTICLES; ++i)
		{
			const Int32 id = ids[static_cast<size_t>(i)];
			const Float x = static_cast<Float>(i % 1000);
			m->SetGroup(id, group);
			m->SetLife(id, BaseTime(1000.0));
			m->SetAge(id, BaseTime(0.01 * (i % 300)));
			m->SetPosition(id, Vector(x, 0.5 * x, -x));
			m->SetVelocity(id, Vector(1.0, 0.001 * x, 2.0));
			m->SetMass(id, 0.001 * x);
			for (Int32 c = 0; c < 4; ++c)
			{
				const Vector v(x + c, x - c, c);
				m->SetData(id, c, &v, DTYPE_VECTOR_VALUE);
			}
			const Int32 ints[3] = {i % 40, i & 7, i + 1};
			m->SetData(id, 4, &ints[0], DTYPE_LONG_VALUE);
			m->SetData(id, 5, &ints[1], DTYPE_LONG_VALUE);
			m->SetData(id, 11, &ints[2], DTYPE_LONG_VALUE);
			for (Int32 c = 6; c <= 10; ++c)
			{
				const Float value = x * c;
				m->SetData(id, c, &value, DTYPE_REAL_VALUE);
			}
		}
	}
	~GroupScene()
	{
		headless::SetActiveDocument(nullptr);
		BaseDocument::Free(doc);
	}
};

void BM_ParticleExportGroup(benchmark::State& state)
{
	GroupScene scene;
	// a new file for every frame, as an export writes them; the one before is removed untimed
	BenchFrameDir files("export", "bin", WRITES + 1);
	const std::string path = files.Path(0);
	const ExportItem item = NewExportItem(PEXP_KIND_GROUP, 0, String("bench"), TW_PEXP_VERSION_12, 25);
	ParticleFrameWriter writer;
	// the first frame lays out the arrays the others reuse
	if (writer.WriteGroup(scene.doc, scene.group, item, 0, path.c_str()))
		std::abort();
	const int64_t file_bytes = BenchFileBytes(path);
	MemcpyProbe probe(file_bytes);
	double median = 0, memcpy_median = 0;
	for (auto _ : state)
	{
		std::vector<double> times, copies;
		for (int k = 1; k <= WRITES; ++k)
		{
			const std::string frame_path = files.Path(k);
			auto t0 = std::chrono::steady_clock::now();
			if (writer.WriteGroup(scene.doc, scene.group, item, k, frame_path.c_str()))
				std::abort();
			times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
			copies.push_back(probe.Seconds());
			std::remove(files.Path(k - 1).c_str());
		}
		median = Median(times);
		memcpy_median = Median(copies);
	}
	state.counters["particles"] = PARTICLES;
	state.counters["file_MB"] = static_cast<double>(file_bytes) / 1e6;
	state.counters["median_ms"] = median * 1e3;
	state.counters["memcpy_ms"] = memcpy_median * 1e3;
	state.counters["x_memcpy"] = median / memcpy_median;
}
BENCHMARK(BM_ParticleExportGroup)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

#endif
