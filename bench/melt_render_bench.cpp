// melt_render_bench.cpp - a two-fluid mesh rendered with the melt material against one plain material.
//
// A polygon object built directly: a 1000 x 1000 grid of points (1,000,000 vertices) in triangles
// (1,996,002 faces), with "TW_Mesh_Weight_1" running 0 to 1 across it and "TW_Mesh_Weight_2" the rest,
// filling a 1280 x 720 frame. Each iteration renders it first with one plain material, then with the
// melt material over two plain ones. Counters: plain_s and melt_s, the render calls' wall time, and
// melt_vs_plain, their ratio (kept at most 2.5).
#if defined(TW_DEFAULT_PLUGIN_DIR)

#include "headless.h"

#include "TW_MeltMaterial.h"
#include "bench_frames.h"

#include <benchmark/benchmark.h>

#include <chrono>

namespace
{

constexpr Int32 kSide = 1000;

PolygonObject* TwoFluidGrid()
{
	const Int32 cells = kSide - 1;
	PolygonObject* mesh = PolygonObject::Alloc(kSide * kSide, 2 * cells * cells);
	VertexMapTag* w1 = VertexMapTag::Alloc(kSide * kSide);
	VertexMapTag* w2 = VertexMapTag::Alloc(kSide * kSide);
	if (!mesh || !w1 || !w2)
		return nullptr;
	Vector* p = mesh->GetPointW();
	Float32* a = w1->GetDataAddressW();
	Float32* b = w2->GetDataAddressW();
	// 1000 units wide at 1000 units from the camera fills the width; 16:9 in height
	for (Int32 y = 0; y < kSide; ++y)
		for (Int32 x = 0; x < kSide; ++x)
		{
			const Int32 i = y * kSide + x;
			const Float u = static_cast<Float>(x) / cells, v = static_cast<Float>(y) / cells;
			p[i] = Vector((u - 0.5) * 1000.0, (v - 0.5) * 562.5, 0.0);
			a[i] = static_cast<Float32>(u);
			b[i] = static_cast<Float32>(1.0 - u);
		}
	CPolygon* f = mesh->GetPolygonW();
	for (Int32 y = 0; y < cells; ++y)
		for (Int32 x = 0; x < cells; ++x)
		{
			const Int32 i = y * kSide + x, k = 2 * (y * cells + x);
			f[k] = CPolygon(i, i + kSide, i + 1);
			f[k + 1] = CPolygon(i + 1, i + kSide, i + kSide + 1);
		}
	w1->SetName(String("TW_Mesh_Weight_1"));
	w2->SetName(String("TW_Mesh_Weight_2"));
	mesh->InsertTag(w1);
	mesh->InsertTag(w2);
	return mesh;
}

BaseMaterial* Plain(BaseDocument* doc, const Vector& colour)
{
	BaseMaterial* m = BaseMaterial::Alloc(Mmaterial);
	m->GetDataInstance()->SetVector(MATERIAL_COLOR_COLOR, colour);
	doc->InsertMaterial(m);
	return m;
}

double RenderSeconds(BaseDocument* doc, BaseBitmap* bmp, benchmark::State& state)
{
	BaseContainer rdata;
	rdata.SetFloat(RDATA_XRES, 1280.0);
	rdata.SetFloat(RDATA_YRES, 720.0);
	const auto t0 = std::chrono::steady_clock::now();
	if (RenderDocument(doc, rdata, nullptr, nullptr, bmp, RENDERFLAGS_EXTERNAL, nullptr) != RENDERRESULT_OK)
		state.SkipWithError("the mesh did not render");
	return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void BM_RenderMeltAgainstPlain(benchmark::State& state)
{
	if (!LoadBenchModule())
	{
		state.SkipWithError("no module");
		return;
	}
	double plain = 0.0, melt = 0.0;
	for (auto _ : state)
	{
		state.PauseTiming();
		BaseDocument* doc = BaseDocument::Alloc();
		headless::SetActiveDocument(doc);
		BaseObject* camera = BaseObject::Alloc(Ocamera);
		camera->SetRelPos(Vector(0.0, 0.0, -1000.0));
		doc->InsertObject(camera, nullptr, nullptr);
		PolygonObject* mesh = TwoFluidGrid();
		if (!mesh)
		{
			state.SkipWithError("no memory for the mesh");
			break;
		}
		doc->InsertObject(mesh, nullptr, nullptr);
		BaseBitmap* bmp = BaseBitmap::Alloc();
		bmp->Init(1280, 720, 24);
		state.ResumeTiming();

		// the last texture shows: red alone, then fluid 2 red, fluid 1 blue and the melt material on top
		static_cast<TextureTag*>(mesh->MakeTag(Ttexture))->SetMaterial(Plain(doc, Vector(1.0, 0.0, 0.0)));
		plain += RenderSeconds(doc, bmp, state);
		static_cast<TextureTag*>(mesh->MakeTag(Ttexture))->SetMaterial(Plain(doc, Vector(0.0, 0.0, 1.0)));
		BaseMaterial* m = BaseMaterial::Alloc(TW_MeltMaterial);
		doc->InsertMaterial(m);
		static_cast<TextureTag*>(mesh->MakeTag(Ttexture))->SetMaterial(m);
		melt += RenderSeconds(doc, bmp, state);
		// fluid 2 alone at the left edge, fluid 1 at the right: the melt material did blend
		UChar left[4] = {}, right[4] = {};
		bmp->GetPixel(40, 360, left);
		bmp->GetPixel(1240, 360, right);
		if (!(left[0] > 0 && left[2] < left[0] / 8 && right[2] > 0 && right[0] < right[2] / 8))
			state.SkipWithError("the melt render does not show the two fluids");

		state.PauseTiming();
		BaseBitmap::Free(bmp);
		headless::SetActiveDocument(nullptr);
		BaseDocument::Free(doc);
		state.ResumeTiming();
	}
	const double n = static_cast<double>(state.iterations());
	state.counters["plain_s"] = plain / n;
	state.counters["melt_s"] = melt / n;
	state.counters["melt_vs_plain"] = plain > 0.0 ? melt / plain : 0.0;
}
BENCHMARK(BM_RenderMeltAgainstPlain)->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace

#endif
