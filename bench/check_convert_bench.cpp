// check_convert_bench.cpp - twconnect check over fifty 1,000,000-particle frames against reading the
// files' bytes once on both cores, and convert --to ply of one frame against a memcpy of the bytes written.
//
// The frames are written once to a temporary folder and so sit in the page cache. Each iteration times
// the plain read and the check (or the memcpy and the conversion) side by side, so that both see the
// same machine; the counters give the medians and their ratio.
#include "bench_frames.h"
#include "cache_types.h"
#include "check_frames.h"
#include "convert_write.h"
#include "sequence_files.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace
{

const int FRAMES = 50;
const int PARTICLES = 1000000;
const int THREADS = 2;

struct CheckFixture
{
	BenchFrameDir files{"check", "bin", FRAMES};
	SequenceFiles sequence;
	int64_t total_bytes = 0;

	CheckFixture()
	{
		for (int f = 0; f < FRAMES; ++f)
		{
			WriteBenchParticleFrame(files.Path(f), f, PARTICLES, "bench", 0);
			total_bytes += BenchFileBytes(files.Path(f));
		}
		std::string error;
		if (!FindSequence(files.Path(0), sequence, error) || sequence.frames.size() != FRAMES)
			std::abort();
	}
};

CheckFixture& Check()
{
	static CheckFixture fixture;
	return fixture;
}

double Seconds(std::chrono::steady_clock::time_point t0)
{
	return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Every file's bytes read once into memory, one file per task on THREADS threads: the least any
// check that reads every byte can cost.
double ReadEveryByteOnce(const CheckFixture& fx)
{
	const auto t0 = std::chrono::steady_clock::now();
	std::atomic<int> next{0};
	auto worker = [&] {
		std::vector<char> buffer(static_cast<size_t>(1) << 20);
		for (int f; (f = next.fetch_add(1)) < FRAMES;)
		{
			const int fd = open(fx.files.Path(f).c_str(), O_RDONLY);
			if (fd < 0)
				std::abort();
			while (read(fd, buffer.data(), buffer.size()) > 0)
				benchmark::DoNotOptimize(buffer.data());
			close(fd);
		}
	};
	std::vector<std::thread> pool;
	for (int t = 1; t < THREADS; ++t)
		pool.emplace_back(worker);
	worker();
	for (std::thread& t : pool)
		t.join();
	return Seconds(t0);
}

void BM_CheckFiftyFrames(benchmark::State& state)
{
	CheckFixture& fx = Check();
	std::vector<double> read_times, check_times;
	for (auto _ : state)
	{
		read_times.push_back(ReadEveryByteOnce(fx));
		const auto t0 = std::chrono::steady_clock::now();
		const std::vector<FrameFacts> facts = ReadFrameFacts(fx.sequence, 0, FRAMES - 1, THREADS, nullptr);
		const std::vector<Finding> findings = FindProblems(fx.sequence, facts, 2.0);
		check_times.push_back(Seconds(t0));
		if (!findings.empty())
			std::abort();
	}
	const double read_s = Median(read_times), check_s = Median(check_times);
	state.counters["frames"] = FRAMES;
	state.counters["GB"] = static_cast<double>(fx.total_bytes) / 1e9;
	state.counters["read_ms"] = read_s * 1e3;
	state.counters["check_ms"] = check_s * 1e3;
	state.counters["x_read"] = check_s / read_s;
}

// One frame of its own: the fifty of the check would still be on their way to the disk.
struct ConvertFixture
{
	BenchFrameDir files{"convert", "bin", 1};
	ConvertFixture() { WriteBenchParticleFrame(files.Path(0), 0, PARTICLES, "bench", 0); }
};

void BM_ConvertPlyOneFrame(benchmark::State& state)
{
	static ConvertFixture fx;
	char dir[] = "/tmp/tw_bench_ply_XXXXXX";
	if (!mkdtemp(dir))
		std::abort();
	const std::string out = std::string(dir) + "/frame.ply";
	std::vector<double> write_times, whole_times, memcpy_times, plain_times;
	std::vector<char> ready;
	int64_t written = 0;
	std::unique_ptr<MemcpyProbe> probe;
	for (auto _ : state)
	{
		std::string error;
		ConvertTable table;
		const auto t0 = std::chrono::steady_clock::now();
		if (!LoadConvertTable(CACHE_PARTICLE_BIN, fx.files.Path(0), table, error))
			std::abort();
		const auto t1 = std::chrono::steady_clock::now();
		if (!WriteWhole(out, WritePly, table, error))
			std::abort();
		write_times.push_back(Seconds(t1));
		whole_times.push_back(Seconds(t0));
		written = BenchFileBytes(out);
		if (!probe)
			probe = std::make_unique<MemcpyProbe>(written);
		memcpy_times.push_back(probe->Seconds());
		std::remove(out.c_str());
		// for reference: the same number of bytes, ready in memory, written to a new file in one call
		ready.resize(static_cast<size_t>(written), 1);
		const auto t2 = std::chrono::steady_clock::now();
		const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
		if (fd < 0 || write(fd, ready.data(), ready.size()) != static_cast<ssize_t>(ready.size()) || close(fd) != 0)
			std::abort();
		plain_times.push_back(Seconds(t2));
		std::remove(out.c_str());
	}
	rmdir(dir);
	const double write_s = Median(write_times), whole_s = Median(whole_times), memcpy_s = Median(memcpy_times);
	state.counters["ply_MB"] = static_cast<double>(written) / 1e6;
	state.counters["memcpy_ms"] = memcpy_s * 1e3;
	state.counters["write_ms"] = write_s * 1e3;
	state.counters["read_and_write_ms"] = whole_s * 1e3;
	state.counters["x_memcpy"] = write_s / memcpy_s;
	state.counters["x_memcpy_with_read"] = whole_s / memcpy_s;
	state.counters["plain_write_ms"] = Median(plain_times) * 1e3;
	state.counters["plain_write_x_memcpy"] = Median(plain_times) / memcpy_s;
}

} // namespace

BENCHMARK(BM_CheckFiftyFrames)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertPlyOneFrame)->Iterations(7)->Unit(benchmark::kMillisecond);
