// polygon.cpp - polygon objects, UVW and vertex map tags, and the memory their arrays live in.
#include "host_state.h"

#include "c4d_polygon.h"

#include <cstdlib>
#include <cstring>
#include <vector>

// --- arrays. Like the host's own memory manager, the headless host keeps the large blocks of freed
// objects and tags for the next ones: a generator rebuilt every frame then writes into memory that
// is already mapped instead of faulting in hundreds of megabytes of fresh pages per frame.

namespace
{

// Blocks below this go straight back to the system.
const size_t kPoolMinBytes = size_t(1) << 20;
const size_t kPoolMaxBlocks = 32;
const size_t kPoolMaxBytes = size_t(3) << 30;
// Room in front of every block for its capacity; keeps the data 64-byte aligned.
const size_t kHeaderBytes = 64;

struct Pool
{
	std::vector<unsigned char*> blocks; // each points at its header
	size_t bytes = 0;
};

// Never destroyed: objects freed by other static destructors at exit still return their arrays.
Pool& ArrayPool()
{
	static Pool* pool = new Pool();
	return *pool;
}

size_t& Capacity(unsigned char* block)
{
	return *reinterpret_cast<size_t*>(block);
}

// The size class of a request: the next of 2^k, 2^k * 9/8, ... 2^k * 15/8, so that a frame a little
// larger than the last still fits the last frame's blocks.
size_t RoundUp(size_t bytes)
{
	size_t step = 1;
	while (step * 16 <= bytes)
		step <<= 1;
	return (bytes + step - 1) / step * step;
}

// count zeroed entries of entry_bytes each, or null (also for a count the address space cannot hold).
void* ArrayAlloc(Int64 count, size_t entry_bytes)
{
	if (count <= 0)
		return nullptr;
	if (static_cast<uint64_t>(count) > (SIZE_MAX - 2 * kHeaderBytes) / 2 / entry_bytes)
		return nullptr;
	const size_t bytes = static_cast<size_t>(count) * entry_bytes;
	if (bytes >= kPoolMinBytes)
	{
		// The smallest kept block that fits, unless even that wastes half of itself.
		Pool& pool = ArrayPool();
		size_t best = pool.blocks.size();
		for (size_t k = 0; k < pool.blocks.size(); ++k)
		{
			const size_t cap = Capacity(pool.blocks[k]);
			if (cap >= bytes && cap / 2 <= bytes && (best == pool.blocks.size() || cap < Capacity(pool.blocks[best])))
				best = k;
		}
		if (best < pool.blocks.size())
		{
			unsigned char* block = pool.blocks[best];
			pool.blocks[best] = pool.blocks.back();
			pool.blocks.pop_back();
			pool.bytes -= Capacity(block);
			std::memset(block + kHeaderBytes, 0, bytes);
			return block + kHeaderBytes;
		}
	}
	const size_t capacity = bytes >= kPoolMinBytes ? RoundUp(bytes) : bytes;
	// calloc of fresh pages leaves the zeroing to the system, which does it as the pages are touched.
	unsigned char* block = static_cast<unsigned char*>(std::calloc(1, kHeaderBytes + capacity));
	if (!block)
		return nullptr;
	Capacity(block) = capacity;
	return block + kHeaderBytes;
}

void ArrayFree(void* data)
{
	if (!data)
		return;
	unsigned char* block = static_cast<unsigned char*>(data) - kHeaderBytes;
	const size_t cap = Capacity(block);
	Pool& pool = ArrayPool();
	if (cap < kPoolMinBytes || cap > kPoolMaxBytes)
	{
		std::free(block);
		return;
	}
	// Full: the oldest blocks go first.
	while (!pool.blocks.empty() && (pool.blocks.size() >= kPoolMaxBlocks || pool.bytes + cap > kPoolMaxBytes))
	{
		pool.bytes -= Capacity(pool.blocks.front());
		std::free(pool.blocks.front());
		pool.blocks.erase(pool.blocks.begin());
	}
	pool.blocks.push_back(block);
	pool.bytes += cap;
}

// Makes *data hold new_count entries, keeping the first min(old, new) of them; false when memory
// runs out (*data is unchanged then). Without free_old the old array is left to the caller.
template <typename T>
Bool ResizeArray(T** data, Int32* count, Int32 new_count, bool free_old = true)
{
	if (new_count < 0)
		return false;
	if (new_count == *count)
		return true;
	T* fresh = static_cast<T*>(ArrayAlloc(new_count, sizeof(T)));
	if (new_count > 0 && !fresh)
		return false;
	const Int32 kept = new_count < *count ? new_count : *count;
	if (kept > 0)
		std::memcpy(static_cast<void*>(fresh), *data, static_cast<size_t>(kept) * sizeof(T));
	if (free_old)
		ArrayFree(*data);
	*data = fresh;
	*count = new_count;
	return true;
}

Int32 g_refused_tag_type = 0;

} // namespace

void headless::RefuseTagAllocation(Int32 type)
{
	g_refused_tag_type = type;
}

bool headless::TagAllocationRefused(Int32 type)
{
	return type != 0 && type == g_refused_tag_type;
}

// --- polygon objects

PointObject::~PointObject()
{
	ArrayFree(_points);
}

PolygonObject* PolygonObject::Alloc(Int32 pcnt, Int32 vcnt)
{
	PolygonObject* op = new PolygonObject();
	if (!op->ResizeObject(pcnt, vcnt))
	{
		delete op;
		return nullptr;
	}
	return op;
}

PolygonObject::~PolygonObject()
{
	ArrayFree(_polygons);
}

Bool PolygonObject::ResizeObject(Int32 pcnt, Int32 vcnt)
{
	if (pcnt < 0 || vcnt < 0)
		return false;
	// Both arrays are made before either is replaced, so that a failure leaves the object as it was.
	Vector* points = _points;
	Int32 point_count = _point_count;
	CPolygon* polygons = _polygons;
	Int32 polygon_count = _polygon_count;
	if (!ResizeArray(&points, &point_count, pcnt, false))
		return false;
	if (!ResizeArray(&polygons, &polygon_count, vcnt, false))
	{
		if (points != _points)
			ArrayFree(points);
		return false;
	}
	if (points != _points)
		ArrayFree(_points);
	if (polygons != _polygons)
		ArrayFree(_polygons);
	_points = points;
	_point_count = point_count;
	_polygons = polygons;
	_polygon_count = polygon_count;
	return true;
}

BaseObject* PolygonObject::CloneSelf() const
{
	PolygonObject* copy = PolygonObject::Alloc(_point_count, _polygon_count);
	if (!copy)
		return nullptr;
	if (_point_count)
		std::memcpy(static_cast<void*>(copy->_points), _points, sizeof(Vector) * static_cast<size_t>(_point_count));
	if (_polygon_count)
		std::memcpy(static_cast<void*>(copy->_polygons), _polygons, sizeof(CPolygon) * static_cast<size_t>(_polygon_count));
	return copy;
}

// --- tags with per-element data

VariableTag::~VariableTag()
{
	ArrayFree(_data);
}

Bool VariableTag::AllocData(Int32 count)
{
	if (count < 0)
		return false;
	void* data = ArrayAlloc(count, static_cast<size_t>(_entry_bytes));
	if (count > 0 && !data)
		return false;
	ArrayFree(_data);
	_data = data;
	_count = count;
	return true;
}

BaseTag* VariableTag::CloneData(VariableTag* copy) const
{
	if (!copy)
		return nullptr;
	if (!copy->AllocData(_count))
	{
		delete copy;
		return nullptr;
	}
	if (_count)
		std::memcpy(copy->_data, _data, static_cast<size_t>(_count) * static_cast<size_t>(_entry_bytes));
	return copy;
}

UVWTag* UVWTag::Alloc(Int32 count)
{
	if (headless::TagAllocationRefused(Tuvw))
		return nullptr;
	UVWTag* tag = new UVWTag();
	if (!tag->AllocData(count))
	{
		delete tag;
		return nullptr;
	}
	return tag;
}

BaseTag* UVWTag::CloneSelf() const
{
	return CloneData(new UVWTag());
}

VertexMapTag* VertexMapTag::Alloc(Int32 count)
{
	if (headless::TagAllocationRefused(Tvertexmap))
		return nullptr;
	VertexMapTag* tag = new VertexMapTag();
	if (!tag->AllocData(count))
	{
		delete tag;
		return nullptr;
	}
	return tag;
}

BaseTag* VertexMapTag::CloneSelf() const
{
	return CloneData(new VertexMapTag());
}

Int32 BaseTag::GetInfo() const
{
	return (_type == Tpoint || _type == Tpolygon) ? 0 : TAG_VISIBLE;
}

Bool BaseObject::CopyTagsTo(BaseObject* dest, Int32 visible, Int32 variable, Int32 hierarchical, AliasTrans* trans) const
{
	(void)hierarchical;
	(void)trans;
	if (!dest)
		return false;
	BaseTag* last = dest->GetFirstTag();
	while (last && last->GetNext())
		last = last->GetNext();
	Bool ok = true;
	for (BaseTag* t = _first_tag; t; t = t->GetNext())
	{
		const Bool is_visible = (t->GetInfo() & TAG_VISIBLE) != 0;
		const Bool is_variable = t->IsVariable();
		if ((visible != NOTOK && is_visible != (visible != 0)) || (variable != NOTOK && is_variable != (variable != 0)))
			continue;
		BaseTag* copy = t->GetClone();
		if (!copy)
		{
			ok = false;
			continue;
		}
		dest->InsertTag(copy, last);
		last = copy;
	}
	return ok;
}
