// particle_id_map.h - file particle ID to host particle, sized by the particles held, not by the largest ID.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The IDs of the last frame, sorted, each with its host particle. A new frame's IDs are sorted (a
// radix sort over the bits they actually span, skipped when the file is in ID order) and merged
// with that table: time linear in the frame, memory a few words per particle, whatever the IDs
// are; a frame of two particles with an ID of 2,000,000,000 takes a few dozen bytes.
class ParticleIdMap
{
public:
	static constexpr int32_t NEW = -2;

	size_t Size() const { return _table.size(); }
	size_t CapacityBytes() const
	{
		return (_table.capacity() + _spare.capacity()) * sizeof(Entry) + (_order.capacity() + _scratch.capacity()) * sizeof(Item);
	}
	void Clear()
	{
		_table = std::vector<Entry>();
		_spare = std::vector<Entry>();
		_order = std::vector<Item>();
		_scratch = std::vector<Item>();
	}

	// Matches this frame's IDs (id(i) for i < n; IDs below 1 take no part) against the last
	// frame's. An ID met before keeps its particle while alive(pid) holds; otherwise drop(pid) and
	// the ID is NEW. Particles of IDs missing from this frame are dropped. Returns the number of
	// distinct NEW IDs, which Complete then gives particles.
	template <typename Id, typename Alive, typename Drop>
	int32_t Match(int32_t n, const Id& id, const Alive& alive, const Drop& drop)
	{
		_order.clear();
		for (int32_t i = 0; i < n; ++i)
		{
			const int64_t v = id(i);
			if (v >= 1)
				_order.push_back({v, i});
		}
		Sort();
		std::vector<Entry>& table = _spare; // the last frame's table becomes the spare, its pages kept
		table.clear();
		table.reserve(CountDistinct());
		size_t j = 0;
		int32_t fresh = 0;
		for (size_t k = 0; k < _order.size();)
		{
			const int64_t v = _order[k].id;
			while (k < _order.size() && _order[k].id == v)
				++k;
			for (; j < _table.size() && _table[j].id < v; ++j)
				drop(_table[j].pid);
			int32_t pid = NEW;
			if (j < _table.size() && _table[j].id == v)
			{
				if (alive(_table[j].pid))
					pid = _table[j].pid;
				else
					drop(_table[j].pid);
				++j;
			}
			if (pid == NEW)
				++fresh;
			table.push_back({v, pid});
		}
		for (; j < _table.size(); ++j)
			drop(_table[j].pid);
		_table.swap(table);
		return fresh;
	}

	// Gives the NEW IDs the particles made[0 .. made_count) in ID order and writes every file
	// particle's host particle into pids[i] (-1: no ID, or no particle was left for it). Returns
	// false when some ID got none; those IDs are forgotten.
	bool Complete(const int32_t* made, int32_t made_count, int32_t* pids)
	{
		int32_t next = 0;
		bool all = true;
		size_t k = 0, kept = 0;
		for (size_t t = 0; t < _table.size(); ++t)
		{
			Entry e = _table[t];
			if (e.pid == NEW)
				e.pid = next < made_count ? made[next++] : -1;
			for (; k < _order.size() && _order[k].id == e.id; ++k)
				pids[_order[k].index] = e.pid;
			if (e.pid >= 0)
				_table[kept++] = e;
			else
				all = false;
		}
		_table.resize(kept);
		// a frame far smaller than the last gives the memory back
		if (_order.capacity() > 1024 && _order.capacity() > 4 * _order.size())
		{
			_order = std::vector<Item>();
			_scratch = std::vector<Item>();
			_spare = std::vector<Entry>();
			_table.shrink_to_fit();
		}
		return all;
	}

	// The host particle of id, or -1.
	int32_t Lookup(int64_t id) const
	{
		size_t lo = 0, hi = _table.size();
		while (lo < hi)
		{
			const size_t mid = lo + (hi - lo) / 2;
			if (_table[mid].id < id)
				lo = mid + 1;
			else
				hi = mid;
		}
		return lo < _table.size() && _table[lo].id == id ? _table[lo].pid : -1;
	}

private:
	struct Entry
	{
		int64_t id;
		int32_t pid;
	};
	struct Item
	{
		int64_t id;
		int32_t index; // file particle
	};

	size_t CountDistinct() const
	{
		size_t count = 0;
		for (size_t k = 0; k < _order.size(); ++k)
			count += k == 0 || _order[k].id != _order[k - 1].id ? 1 : 0;
		return count;
	}

	// Stable least-significant-digit radix sort of _order by ID, eleven bits a pass, over the bits
	// in which the IDs differ from the smallest.
	void Sort()
	{
		const size_t n = _order.size();
		bool sorted = true;
		int64_t lo = n ? _order[0].id : 0, hi = lo;
		for (size_t k = 1; k < n; ++k)
		{
			const int64_t v = _order[k].id;
			sorted = sorted && _order[k - 1].id <= v;
			lo = v < lo ? v : lo;
			hi = v > hi ? v : hi;
		}
		if (sorted)
			return;
		const uint64_t span = static_cast<uint64_t>(hi) - static_cast<uint64_t>(lo);
		int bits = 0;
		while (bits < 64 && (span >> bits) != 0)
			++bits;
		constexpr int DIGIT = 11;
		_scratch.resize(n);
		for (int shift = 0; shift < bits; shift += DIGIT)
		{
			size_t count[(1 << DIGIT) + 1] = {};
			auto digit = [lo, shift](int64_t v) {
				return static_cast<size_t>(((static_cast<uint64_t>(v) - static_cast<uint64_t>(lo)) >> shift) & ((1u << DIGIT) - 1));
			};
			for (const Item& it : _order)
				++count[digit(it.id) + 1];
			for (size_t d = 1; d <= (1u << DIGIT); ++d)
				count[d] += count[d - 1];
			for (const Item& it : _order)
				_scratch[count[digit(it.id)]++] = it;
			_order.swap(_scratch);
		}
	}

	std::vector<Entry> _table; // the last frame's IDs, ascending, unique
	std::vector<Item> _order; // this frame's IDs, ascending (file order among equal IDs)
	std::vector<Item> _scratch;
	std::vector<Entry> _spare;
};
