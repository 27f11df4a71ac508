// sd_bench.cpp - SD scene frames: the last frame of a long file against the first (offsets are
// computed, so they should cost the same), and one scene-reader frame against reading the frame's
// bytes raw.
#include "bench_frames.h"
#include "sd_file.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{

const int32_t kObjects = 20; // every other one deforming
const int32_t kSide = 100; // vertices per object: kSide x kSide
const int32_t kVertices = kSide * kSide;
const int32_t kTriangles = 2 * (kSide - 1) * (kSide - 1);
const int32_t kFrames = 2000;

// The scene, written once per run with the library's writer into a temporary folder (about 2.4 GB,
// so the last frames lie beyond 2 GiB), removed at exit.
struct SceneFile
{
	std::string dir;
	std::string path;
	int64_t size_bytes = 0;

	SceneFile()
	{
		char templ[] = "/tmp/tw_sd_bench_XXXXXX";
		if (!mkdtemp(templ))
			std::abort();
		dir = templ;
		path = dir + "/scene.sd";
		if (!Write())
		{
			std::fprintf(stderr, "sd_bench: cannot write %s\n", path.c_str());
			std::abort();
		}
		struct stat st;
		stat(path.c_str(), &st);
		size_bytes = st.st_size;
	}

	~SceneFile()
	{
		unlink(path.c_str());
		rmdir(dir.c_str());
	}

	static std::string Name(int32_t k)
	{
		return (k % 2 ? "Deforming_" : "Rigid_") + std::to_string(k);
	}

	static void Describe(SdObjectDescriptor* d, int32_t k)
	{
		d->type = k % 2 ? SD_OBJECT_DEFORMING : SD_OBJECT_RIGID;
		SdDescriptorSetName(d, Name(k).c_str());
		SdDescriptorSetTexture(d, "");
		d->vertex_count = kVertices;
		d->triangle_count = kTriangles;
		SdDescriptorSetSizes(d);
	}

	bool Write()
	{
		SdFile* file = SdOpen(path.c_str(), true);
		if (!file)
			return false;
		std::vector<SdObjectDescriptor> descriptors(kObjects, SdObjectDescriptor{});
		for (int32_t k = 0; k < kObjects; ++k)
			Describe(&descriptors[k], k);
		SdSetTitle(file, "sd_bench");
		file->version = SD_VERSION;
		file->header_size = static_cast<int32_t>(SdFirstFrameOffset(descriptors.data(), kObjects, true));
		file->frame_size = static_cast<int32_t>(SdFrameBytes(descriptors.data(), kObjects, true));
		file->has_camera = 1;
		file->axis_setup = SD_AXIS_SETUP;
		file->object_count = kObjects;
		file->first_frame = 0;
		file->last_frame = kFrames - 1;
		for (SdObjectDescriptor& d : descriptors)
			SdDescriptorFreeBuffers(&d);

		std::vector<float> rest(3 * static_cast<size_t>(kVertices));
		for (int32_t i = 0; i < kVertices; ++i)
		{
			rest[3 * i + 0] = static_cast<float>(i % kSide) * 0.01f;
			rest[3 * i + 1] = 0.0f;
			rest[3 * i + 2] = static_cast<float>(i / kSide) * 0.01f;
		}
		bool ok = SdWriteHeader(file);
		for (int32_t k = 0; k < kObjects; ++k)
		{
			Describe(&file->descriptor, k);
			ok = ok && SdWriteObjectDescriptor(file) && SdWriteVertices(file, rest.data(), kVertices);
			for (int32_t j = 0; ok && j + 1 < kSide; ++j)
				for (int32_t i = 0; ok && i + 1 < kSide; ++i)
				{
					const int32_t a = j * kSide + i;
					const int32_t quad[2][3] = {{a, a + kSide, a + 1}, {a + 1, a + kSide, a + kSide + 1}};
					for (const auto& corners : quad)
					{
						SdFace& f = file->face;
						for (int c = 0; c < 3; ++c)
						{
							f.corners[c] = corners[c];
							f.uvw[3 * c + 0] = rest[3 * corners[c]];
							f.uvw[3 * c + 1] = 1.0f - rest[3 * corners[c] + 2];
							f.uvw[3 * c + 2] = 0.0f;
							f.edge_values[c] = 1;
						}
						f.face_value = 1;
						ok = ok && SdWriteFace(file);
					}
				}
		}
		file->camera = SdCameraDescriptor{0.8f, 0.0001f, 10000.0f, {0.0f, 1.0f, 0.0f}};
		ok = ok && SdWriteCameraDescriptor(file);

		std::vector<float> moved(rest.size());
		for (int32_t frame = 0; ok && frame < kFrames; ++frame)
		{
			file->frame_number = frame;
			ok = SdWriteFrameNumber(file);
			const float t = static_cast<float>(frame) / 25.0f;
			for (int32_t k = 0; ok && k < kObjects; ++k)
			{
				Describe(&file->descriptor, k);
				SdObjectFrame& r = file->object_frame;
				const float angle = t + 0.1f * static_cast<float>(k);
				const float c = std::cos(angle), s = std::sin(angle);
				const float transform[12] = {c, 0, -s, 0, 1, 0, s, 0, c, static_cast<float>(k), 0.1f * t, 0};
				std::copy(transform, transform + 12, r.transform);
				for (int v = 0; v < 3; ++v)
					r.vectors[SD_VECTOR_POSITION][v] = transform[9 + v];
				r.vectors[SD_VECTOR_ROTATION][1] = angle;
				r.vectors[SD_VECTOR_SCALE][0] = r.vectors[SD_VECTOR_SCALE][1] = r.vectors[SD_VECTOR_SCALE][2] = 1.0f;
				ok = SdWriteObjectFrame(file);
				if (ok && k % 2)
				{
					for (int32_t i = 0; i < kVertices; ++i)
					{
						moved[3 * i + 0] = rest[3 * i + 0] + static_cast<float>(k);
						moved[3 * i + 1] = 0.05f * std::sin(10.0f * rest[3 * i] + t);
						moved[3 * i + 2] = rest[3 * i + 2];
					}
					ok = SdWriteVertices(file, moved.data(), kVertices);
				}
			}
			SdCameraFrame& cam = file->camera_frame;
			cam = SdCameraFrame{};
			cam.matrix[0] = -1.0f;
			cam.matrix[5] = 1.0f;
			cam.matrix[10] = -1.0f;
			cam.matrix[15] = 1.0f;
			cam.matrix[3] = cam.position[0] = 5.0f * std::sin(t);
			cam.matrix[11] = cam.position[2] = 5.0f * std::cos(t);
			ok = ok && SdWriteCameraFrame(file);
		}
		return SdClose(file) == 1 && ok;
	}
};

SceneFile& Scene()
{
	static SceneFile scene;
	return scene;
}

double Seconds(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b)
{
	return std::chrono::duration<double>(b - a).count();
}

// Opens a fresh reader (header and all descriptors), reads one frame, frees the reader.
double FreshReaderRead(const std::string& path, int32_t frame, benchmark::State& state)
{
	auto t0 = std::chrono::steady_clock::now();
	SdSceneReader* r = SdSceneOpen(path.c_str());
	if (r)
		SdCloseStream(r->file);
	if (!r || SdSceneReadFrame(r, frame) != 1 || !r->valid || r->file->frame_number != frame)
		state.SkipWithError("frame read failed");
	if (r)
		benchmark::DoNotOptimize(r->vertices[1][3 * kVertices - 1]);
	SdSceneFree(r);
	return Seconds(t0, std::chrono::steady_clock::now());
}

// (a) The last frame of 2,000 against the first, each with a fresh reader: with computed offsets the
// position in the file must not matter (target: ratio of the medians <= 1.2).
void BM_SdFreshReaderLastFrameVsFirst(benchmark::State& state)
{
	SceneFile& scene = Scene();
	std::vector<double> first, last;
	bool last_first = false;
	for (auto _ : state)
	{
		// Which goes first alternates, so that neither profits from what the other left in the caches.
		double t;
		if (last_first)
		{
			t = FreshReaderRead(scene.path, kFrames - 1, state);
			first.push_back(FreshReaderRead(scene.path, 0, state));
		}
		else
		{
			first.push_back(FreshReaderRead(scene.path, 0, state));
			t = FreshReaderRead(scene.path, kFrames - 1, state);
		}
		last.push_back(t);
		state.SetIterationTime(t);
		last_first = !last_first;
	}
	state.counters["frame0_ms"] = Median(first) * 1e3;
	state.counters["frame1999_ms"] = Median(last) * 1e3;
	state.counters["ratio"] = Median(last) / Median(first);
	state.counters["file_GB"] = static_cast<double>(scene.size_bytes) / 1e9;
}

// (b) One SdSceneReadFrame (reopen by path, seek, decode every record, vertices into the reader's
// arrays, close) against opening the file and reading the same frame's bytes raw into a buffer
// (target: ratio of the medians <= 2). Frames stride through the whole file.
void BM_SdSceneReadFrameVsRawRead(benchmark::State& state)
{
	SceneFile& scene = Scene();
	SdSceneReader* r = SdSceneOpen(scene.path.c_str());
	if (!r)
	{
		state.SkipWithError("open failed");
		return;
	}
	SdCloseStream(r->file);
	std::vector<unsigned char> raw(static_cast<size_t>(r->frame_bytes), 1);
	std::vector<double> reads, raws;
	int32_t frame = 0;
	bool raw_first = true;
	for (auto _ : state)
	{
		// The same frame both ways; which goes first alternates, so that neither profits from the
		// other having just brought the frame's pages into the caches.
		double raw_time = 0.0, read_time = 0.0;
		bool raw_ok = false;
		int ok = 0;
		for (int pass = 0; pass < 2; ++pass)
		{
			if ((pass == 0) == raw_first)
			{
				auto c0 = std::chrono::steady_clock::now();
				FILE* f = std::fopen(scene.path.c_str(), "rb");
				raw_ok = f && fseeko(f, SdSceneFrameOffset(r, frame), SEEK_SET) == 0 &&
					std::fread(raw.data(), 1, raw.size(), f) == raw.size();
				if (f)
					std::fclose(f);
				benchmark::DoNotOptimize(raw.data());
				raw_time = Seconds(c0, std::chrono::steady_clock::now());
			}
			else
			{
				auto t0 = std::chrono::steady_clock::now();
				ok = SdSceneReadFrame(r, frame);
				read_time = Seconds(t0, std::chrono::steady_clock::now());
				benchmark::DoNotOptimize(r->vertices[1][0]);
			}
		}
		if (!raw_ok || ok != 1 || !r->valid)
			state.SkipWithError("read failed");
		raws.push_back(raw_time);
		reads.push_back(read_time);
		state.SetIterationTime(read_time);
		raw_first = !raw_first;
		frame = (frame + 397) % kFrames;
	}
	state.counters["read_ms"] = Median(reads) * 1e3;
	state.counters["raw_ms"] = Median(raws) * 1e3;
	state.counters["ratio"] = Median(reads) / Median(raws);
	state.SetBytesProcessed(state.iterations() * r->frame_bytes);
	SdSceneFree(r);
}

BENCHMARK(BM_SdFreshReaderLastFrameVsFirst)->UseManualTime()->Iterations(200)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SdSceneReadFrameVsRawRead)->UseManualTime()->Iterations(400)->Unit(benchmark::kMicrosecond);

} // namespace
