// particle_id_map.h - file particle ID to host particle, sized by the particles held, not by the largest ID.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Open addressing with linear probing. Each load stamps the entries of the IDs it meets; what the
// load did not stamp is dropped afterwards (Sweep), so the table holds the particles of one frame
// and a frame of two particles with an ID of 2,000,000,000 still takes a few hundred bytes.
class ParticleIdMap
{
public:
	struct Entry
	{
		int64_t id; // EMPTY, GONE, or a file ID >= 1
		int32_t pid; // host particle
		uint32_t stamp; // load that last met this ID
	};

	size_t Size() const { return _live; }
	size_t Capacity() const { return _entries.size(); }
	void Clear()
	{
		_entries.clear();
		_entries.shrink_to_fit();
		_live = _gone = 0;
	}

	// Starts a load that will meet up to `count` IDs; returns its stamp.
	uint32_t Begin(size_t count)
	{
		if (++_stamp == 0)
		{
			// after 2^32 loads: no entry may look as if this load had met it
			for (Entry& e : _entries)
				e.stamp = 0;
			_stamp = 1;
		}
		// frames mostly share their IDs; a frame of new ones grows the table while it is walked
		Reserve(_live > count ? _live : count);
		return _stamp;
	}

	// The entry of id (>= 1), inserted with pid -1 and stamp 0 when it is new.
	Entry& Find(int64_t id)
	{
		if (_entries.empty() || 10 * (_live + _gone + 1) > 7 * _entries.size())
			Reserve(_live + 1);
		const size_t mask = _entries.size() - 1;
		size_t k = Hash(id) & mask;
		Entry* reuse = nullptr;
		for (;; k = (k + 1) & mask)
		{
			Entry& e = _entries[k];
			if (e.id == id)
				return e;
			if (e.id == GONE && !reuse)
				reuse = &e;
			if (e.id == EMPTY)
			{
				if (reuse)
					--_gone;
				Entry& slot = reuse ? *reuse : e;
				slot = {id, -1, 0};
				++_live;
				return slot;
			}
		}
	}

	// The host particle of id, or -1; inserts nothing.
	int32_t Lookup(int64_t id) const
	{
		if (_entries.empty() || id < 1)
			return -1;
		const size_t mask = _entries.size() - 1;
		for (size_t k = Hash(id) & mask;; k = (k + 1) & mask)
		{
			const Entry& e = _entries[k];
			if (e.id == id)
				return e.pid;
			if (e.id == EMPTY)
				return -1;
		}
	}

	// Calls drop(pid) for every entry the load `stamp` did not meet and removes it; then fits the
	// table to what is left, so a frame of many particles followed by a small one gives the memory back.
	template <typename F>
	void Sweep(uint32_t stamp, const F& drop)
	{
		for (Entry& e : _entries)
			if (e.id >= 1 && (e.stamp != stamp || e.pid < 0))
			{
				if (e.pid >= 0)
					drop(e.pid);
				e.id = GONE;
				--_live;
				++_gone;
			}
		if (_entries.size() > MIN_CAPACITY && 8 * _live < _entries.size())
			Rehash(CapacityFor(_live));
		else if (10 * (_live + _gone) > 7 * _entries.size())
			Rehash(_entries.size());
	}

	template <typename F>
	void EachEntry(const F& f) const
	{
		for (const Entry& e : _entries)
			if (e.id >= 1)
				f(e);
	}

private:
	static constexpr int64_t EMPTY = 0;
	static constexpr int64_t GONE = -1;
	static constexpr size_t MIN_CAPACITY = 16;

	static size_t Hash(int64_t id)
	{
		uint64_t x = static_cast<uint64_t>(id);
		x ^= x >> 33;
		x *= 0xff51afd7ed558ccdULL;
		x ^= x >> 33;
		return static_cast<size_t>(x);
	}
	// at most half full once the entries are in
	static size_t CapacityFor(size_t count)
	{
		size_t capacity = MIN_CAPACITY;
		while (capacity < 2 * count)
			capacity *= 2;
		return capacity;
	}
	void Reserve(size_t count)
	{
		if (10 * (count + _gone) > 7 * _entries.size())
			Rehash(CapacityFor(count));
	}
	void Rehash(size_t capacity)
	{
		std::vector<Entry> old(capacity, Entry{EMPTY, -1, 0});
		old.swap(_entries);
		_live = _gone = 0;
		const size_t mask = capacity - 1;
		for (const Entry& e : old)
			if (e.id >= 1)
			{
				size_t k = Hash(e.id) & mask;
				while (_entries[k].id != EMPTY)
					k = (k + 1) & mask;
				_entries[k] = e;
				++_live;
			}
	}

	std::vector<Entry> _entries;
	size_t _live = 0, _gone = 0;
	uint32_t _stamp = 0;
};
