// bench_helpers.cpp - the library's own frame read and a plain memcpy, timed in C++, for the module's
// benchmark to measure read_particles and write_particles against.
#include "twcache_py.h"
#include "particle_bin.h"

#include <chrono>
#include <cstring>
#include <vector>

namespace
{

double Seconds(std::chrono::steady_clock::time_point start)
{
	return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Fastest of `repeats` open-read-free runs of a particle .bin frame.
double LibraryRead(const std::string& path, int repeats)
{
	py::gil_scoped_release unlocked;
	double best = 1e30;
	for (int i = 0; i < repeats; ++i)
	{
		const auto start = std::chrono::steady_clock::now();
		BinParticleFrame* f = OpenParticleBin(path.c_str(), 0);
		const int ok = f && ReadParticleBin(f, 100.0f);
		FreeParticleBin(f);
		const double s = Seconds(start);
		if (!ok)
			return -1;
		best = s < best ? s : best;
	}
	return best;
}

// Fastest of `repeats` copies of bytes between two buffers already in memory: the least a writer of
// that many bytes could cost.
double Memcpy(int64_t bytes, int repeats)
{
	std::vector<unsigned char> from(static_cast<size_t>(bytes), 1);
	std::vector<unsigned char> to(static_cast<size_t>(bytes), 0);
	double best = 1e30;
	for (int i = 0; i < repeats; ++i)
	{
		const auto start = std::chrono::steady_clock::now();
		std::memcpy(to.data(), from.data(), to.size());
		const double s = Seconds(start);
		if (to[static_cast<size_t>(bytes) / 2] != 1)
			return -1;
		best = s < best ? s : best;
	}
	return best;
}

} // namespace

void BindBenchHelpers(py::module_& m)
{
	m.def("_library_read_seconds", &LibraryRead, py::arg("path"), py::arg("repeats") = 5);
	m.def("_memcpy_seconds", &Memcpy, py::arg("bytes"), py::arg("repeats") = 5);
}
