// polygonize.cpp - the polygonised copy of an evaluated document.
#include "host_state.h"

#include "c4d_animation.h"

#include <set>

namespace
{

Int32 InfoOf(const BaseObject* op)
{
	const headless::Registration* reg = headless::FindRegistration(op->GetType());
	return reg && reg->kind == headless::KIND_OBJECT && op->GetNodeData() ? reg->info : 0;
}

void DropTracks(BaseObject* op)
{
	while (CTrack* t = op->GetFirstCTrack())
	{
		t->Remove();
		CTrack::Free(t);
	}
	for (BaseObject* c = op->GetDown(); c; c = c->GetNext())
		DropTracks(c);
}

BaseObject* NullNamed(const BaseObject* op)
{
	BaseObject* null = BaseObject::Alloc(Onull);
	null->SetName(op->GetName());
	null->SetMl(op->GetMl());
	return null;
}

struct Polygonizer
{
	bool keep_animation = false;
	// objects being copied: an instance that refers back to one of them would never end
	std::set<const BaseObject*> open;

	// The copy of op and its children, or null for a deformer (what it did is in its parent's copy).
	BaseObject* Copy(const BaseObject* op)
	{
		if (InfoOf(op) & OBJECT_MODIFIER)
			return nullptr;
		if (open.count(op))
			return NullNamed(op);
		open.insert(op);
		BaseObject* copy = Shown(op);
		if (copy)
		{
			BaseObject* last = copy->GetDown();
			while (last && last->GetNext())
				last = last->GetNext();
			for (const BaseObject* c = op->GetDown(); c; c = c->GetNext())
				if (BaseObject* cc = Copy(c))
				{
					if (last)
						cc->InsertAfter(last);
					else
						cc->InsertUnder(copy);
					last = cc;
				}
			if (!keep_animation)
				DropTracks(copy);
		}
		open.erase(op);
		return copy;
	}

	// What op shows, without op's children, named and placed as op.
	BaseObject* Shown(const BaseObject* op)
	{
		const BaseObject* cache = op->GetCache();
		BaseObject* copy = nullptr;
		Matrix ml = op->GetMl();
		if (const BaseObject* deformed = op->GetDeformCache())
		{
			copy = deformed->GetClone(COPYFLAGS_NO_HIERARCHY);
			// a deformed cache keeps its place under the generator; a deformed object stands where its
			// deformers put it (one that drives the object's motion moves the deformed copy)
			if (copy)
				ml = cache ? op->GetMl() * deformed->GetMl() : deformed->GetMl();
		}
		else if ((InfoOf(op) & OBJECT_GENERATOR) || headless::IsPrimitive(op))
		{
			if (!cache)
				return NullNamed(op);
			// through Copy: the generators and instances inside the result show as what they stand for
			copy = Copy(cache);
			if (copy)
				ml = op->GetMl() * cache->GetMl();
		}
		else if (op->GetType() == Opolygongroup)
		{
			// the group's polygon objects stay below it as they are, under a null that keeps its tags
			copy = NullNamed(op);
			op->CopyTagsTo(copy, true, false, false, nullptr);
			return copy;
		}
		else if (op->GetType() == Oinstance)
		{
			const BaseList2D* link = op->GetDataInstance()->GetLink(INSTANCEOBJECT_LINK, op->GetDocument());
			const BaseObject* target = dynamic_cast<const BaseObject*>(link);
			copy = target ? Copy(target) : nullptr;
			if (!copy)
				return NullNamed(op);
		}
		else
			return op->GetClone(COPYFLAGS_NO_HIERARCHY);
		if (!copy)
			return NullNamed(op);
		copy->SetName(op->GetName());
		copy->SetMl(ml);
		// the generator's material and phong tags apply to what it generated
		if (op->GetType() != Oinstance)
			op->CopyTagsTo(copy, true, false, false, nullptr);
		return copy;
	}
};

} // namespace

BaseDocument* BaseDocument::Polygonize(Bool keepanimation) const
{
	BaseDocument* out = BaseDocument::Alloc();
	out->_path = _path;
	out->_file = _file;
	out->_fps = _fps;
	out->_time = _time;
	out->_min_time = _min_time;
	out->_max_time = _max_time;
	out->_loop_min = _loop_min;
	out->_loop_max = _loop_max;
	out->_settings = _settings;
	out->_render_data.SetData(_render_data.GetData());
	Polygonizer p;
	p.keep_animation = keepanimation;
	BaseObject* last = nullptr;
	for (const BaseObject* op = _first; op; op = op->GetNext())
		if (BaseObject* copy = p.Copy(op))
		{
			out->InsertObject(copy, nullptr, last);
			last = copy;
		}
	return out;
}
