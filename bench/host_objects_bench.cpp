// host_objects_bench.cpp - what one render instance object costs the headless host.
//
// A render of particles puts one instance object per particle under a null, each with four parameters
// set (the flag, the link, the mode, the colour). This allocates a million of them the same way and
// reports the heap's growth per object (mallinfo2, so the allocator's own overhead counts), beside the
// sizes of the value types they are built from. Run once: it measures memory, not time.
#if defined(TW_DEFAULT_PLUGIN_DIR)

#include "headless.h"

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <vector>

namespace
{

const int OBJECTS = 1000000;
const Int32 FLAG_ID = 1123412345;
const Int32 COLOUR_ID = 99999;

size_t HeapInUse()
{
	struct mallinfo2 mi = mallinfo2();
	return mi.uordblks + mi.hblkhd;
}

void BM_InstanceObjectBytes(benchmark::State& state)
{
	BaseObject* shape = BaseObject::Alloc(Osphere);
	for (auto _ : state)
	{
		BaseObject* null = BaseObject::Alloc(Onull);
		BaseObject* prev = nullptr;
		const size_t before = HeapInUse();
		for (int i = 0; i < OBJECTS; ++i)
		{
			BaseObject* op = BaseObject::Alloc(Oinstance);
			BaseContainer* bc = op->GetDataInstance();
			bc->SetBool(FLAG_ID, true);
			bc->SetLink(INSTANCEOBJECT_LINK, shape);
			bc->SetInt32(INSTANCEOBJECT_RENDERINSTANCE_MODE, INSTANCEOBJECT_RENDERINSTANCE_MODE_SINGLEINSTANCE);
			bc->SetVector(COLOUR_ID, Vector(0.5, 0.25, 1.0));
			if (prev)
				op->InsertAfter(prev);
			else
				op->InsertUnder(null);
			prev = op;
		}
		const size_t after = HeapInUse();
		state.counters["bytes_per_instance"] = static_cast<double>(after - before) / OBJECTS;
		BaseObject::Free(null);
	}
	BaseObject::Free(shape);
	state.counters["sizeof_GeData"] = sizeof(GeData);
	state.counters["sizeof_BaseContainer"] = sizeof(BaseContainer);
	state.counters["sizeof_BaseObject"] = sizeof(BaseObject);
}

} // namespace

BENCHMARK(BM_InstanceObjectBytes)->Iterations(1)->Unit(benchmark::kMillisecond);

#endif
