// particle_bin_stream.cpp - writing a particle .bin frame on a second thread while its arrays are still being filled.
#include "particle_bin_stream.h"

#include "cache_internal.h"

#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <new>
#include <thread>

struct ParticleBinStream
{
	BinParticleFrame* frame = nullptr;
	int64_t count = 0;
	// Written only by whoever writes records: the stream's thread while it runs, else the caller.
	int64_t written = 0;

	std::mutex lock;
	std::condition_variable wake;
	// Guarded by lock.
	int64_t filled = 0;
	bool finishing = false;
	bool failed = false;
	int error = 0;

	std::thread thread;
};

// Writes the records [written, upto); false, with error set, when a write fails.
static bool WriteUpTo(ParticleBinStream* s, int64_t upto, int* error)
{
	if (upto <= s->written)
		return true;
	errno = 0;
	if (!WriteParticleBinRecords(s->frame, s->written, upto - s->written))
	{
		*error = errno != 0 ? errno : EIO;
		return false;
	}
	s->written = upto;
	return true;
}

static void RunStream(ParticleBinStream* s)
{
	for (;;)
	{
		int64_t upto;
		bool finishing;
		{
			std::unique_lock<std::mutex> hold(s->lock);
			s->wake.wait(hold, [s] { return s->filled > s->written || s->finishing; });
			upto = s->filled;
			finishing = s->finishing;
		}
		if (upto > s->written)
		{
			int error = 0;
			if (!WriteUpTo(s, upto, &error))
			{
				std::lock_guard<std::mutex> hold(s->lock);
				s->failed = true;
				s->error = error;
				return;
			}
		}
		else if (finishing)
			return;
	}
}

ParticleBinStream* StartParticleBinStream(BinParticleFrame* frame, int second_thread)
{
	errno = 0;
	if (!WriteParticleBinHeader(frame))
	{
		if (errno == 0)
			errno = EINVAL;
		return nullptr;
	}
	void* memory = CacheAlloc(sizeof(ParticleBinStream));
	if (!memory)
	{
		errno = ENOMEM;
		return nullptr;
	}
	ParticleBinStream* s = new (memory) ParticleBinStream;
	s->frame = frame;
	s->count = frame->header.particle_count;
	if (second_thread && s->count > 0)
	{
		try
		{
			s->thread = std::thread(RunStream, s);
		}
		catch (...)
		{
			// no thread: the caller's publications write the records
		}
	}
	return s;
}

int PublishParticleBinStream(ParticleBinStream* s, int64_t filled)
{
	if (!s)
		return 0;
	filled = filled < s->count ? filled : s->count;
	if (!s->thread.joinable())
	{
		if (s->failed)
			return 0;
		if (!WriteUpTo(s, filled, &s->error))
			s->failed = true;
		return s->failed ? 0 : 1;
	}
	std::lock_guard<std::mutex> hold(s->lock);
	if (s->failed)
		return 0;
	if (filled > s->filled)
	{
		s->filled = filled;
		s->wake.notify_one();
	}
	return 1;
}

int FinishParticleBinStream(ParticleBinStream* s)
{
	if (!s)
		return 0;
	if (s->thread.joinable())
	{
		{
			std::lock_guard<std::mutex> hold(s->lock);
			s->finishing = true;
		}
		s->wake.notify_one();
		s->thread.join();
	}
	// The thread is gone: what it wrote and any failure are now the caller's to see.
	bool ok = !s->failed && WriteUpTo(s, s->count, &s->error);
	int error = s->error;
	if (ok)
	{
		errno = 0;
		ok = FinishParticleBin(s->frame) != 0;
		error = errno != 0 ? errno : EIO;
	}
	s->~ParticleBinStream();
	CacheFree(s);
	if (!ok)
		errno = error;
	return ok ? 1 : 0;
}
