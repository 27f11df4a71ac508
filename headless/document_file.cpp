// document_file.cpp - saving a document's objects and loading them again, as the host's scene file does.
#include "host_state.h"

#include <map>

struct DocumentFileAccess
{
	static const std::map<Int32, BaseContainer>& Settings(const BaseDocument* doc) { return doc->_settings; }
};

namespace
{

// Raw pointers and links point into the running session; the host writes neither.
BaseContainer Storable(const BaseContainer& bc)
{
	BaseContainer out(bc.GetId());
	for (Int32 id : bc.GetIds())
	{
		const GeData& d = bc.GetData(id);
		if (d.GetType() == DA_VOID || d.GetType() == DA_ALIASLINK)
			continue;
		if (d.GetType() == DA_CONTAINER)
			out.SetContainer(id, Storable(*d.GetContainer()));
		else
			out.SetData(id, d);
	}
	return out;
}

using Places = std::map<const BaseList2D*, std::vector<Int32>>;

void PlaceObjects(const BaseObject* first, std::vector<Int32> path, Places* places)
{
	path.push_back(0);
	for (const BaseObject* op = first; op; op = op->GetNext(), ++path.back())
	{
		(*places)[op] = path;
		PlaceObjects(op->GetDown(), path, places);
	}
}

BaseObject* ObjectAt(BaseObject* first, const std::vector<Int32>& path)
{
	BaseObject* op = nullptr;
	for (Int32 index : path)
	{
		op = first;
		for (Int32 i = 0; op && i < index; ++i)
			op = op->GetNext();
		if (!op)
			return nullptr;
		first = op->GetDown();
	}
	return op;
}

headless::StoredObject Store(const BaseObject* op, const Places& places)
{
	headless::StoredObject s;
	s.type = op->GetType();
	s.name = op->GetName().Get();
	s.ml = op->GetMl();
	s.data = Storable(*op->GetDataInstance());
	const headless::Registration* reg = headless::FindRegistration(op->GetType());
	s.disklevel = reg && reg->disklevel > 0 ? reg->disklevel : 0;
	for (const BaseObject* c = op->GetDown(); c; c = c->GetNext())
		s.children.push_back(Store(c, places));
	const BaseContainer* bc = op->GetDataInstance();
	for (Int32 id : bc->GetIds())
	{
		auto place = places.find(bc->GetLink(id));
		if (place != places.end())
			s.links.emplace_back(id, place->second);
	}
	for (const CTrack* t = op->GetFirstCTrack(); t; t = t->GetNext())
	{
		headless::StoredTrack st;
		st.id = t->GetDescriptionID();
		for (Int32 i = 0; i < t->GetCurve()->GetKeyCount(); ++i)
			st.keys.emplace_back(t->GetCurve()->GetKey(i)->GetTime(), t->GetCurve()->GetKey(i)->GetValue());
		s.tracks.push_back(st);
	}
	return s;
}

BaseObject* Restore(const headless::StoredObject& s)
{
	BaseObject* op = BaseObject::Alloc(s.type);
	if (!op)
		return nullptr;
	op->SetName(String(s.name));
	op->SetMl(s.ml);
	for (const headless::StoredTrack& st : s.tracks)
	{
		CTrack* t = CTrack::Alloc(op, st.id);
		for (const auto& k : st.keys)
			t->GetCurve()->AddKey(k.first)->SetValue(t->GetCurve(), k.second);
		op->InsertTrackSorted(t);
	}
	// The stored container replaces the defaults Init wrote; then the plug-in reads its own part.
	op->SetData(s.data);
	if (NodeData* data = op->GetNodeData())
		data->Read(op, nullptr, s.disklevel);
	BaseObject* last = nullptr;
	for (const headless::StoredObject& c : s.children)
	{
		BaseObject* child = Restore(c);
		if (!child)
		{
			BaseObject::Free(op);
			return nullptr;
		}
		if (last)
			child->InsertAfter(last);
		else
			child->InsertUnder(op);
		last = child;
	}
	return op;
}

} // namespace

headless::DocumentFile headless::SaveDocument(const BaseDocument* doc)
{
	DocumentFile file;
	if (!doc)
		return file;
	file.fps = doc->GetFps();
	file.time = doc->GetTime();
	file.min_time = doc->GetMinTime();
	file.max_time = doc->GetMaxTime();
	Places places;
	PlaceObjects(doc->GetFirstObject(), {}, &places);
	for (const BaseObject* op = doc->GetFirstObject(); op; op = op->GetNext())
		file.objects.push_back(Store(op, places));
	for (const auto& entry : DocumentFileAccess::Settings(doc))
		file.settings[entry.first] = Storable(entry.second);
	return file;
}

BaseDocument* headless::LoadDocument(const DocumentFile& file)
{
	BaseDocument* doc = BaseDocument::Alloc();
	doc->SetFps(file.fps);
	doc->SetTime(file.time);
	doc->SetMinTime(file.min_time);
	doc->SetMaxTime(file.max_time);
	for (const auto& entry : file.settings)
		*doc->GetSettingsInstance(entry.first) = entry.second;
	BaseObject* last = nullptr;
	for (const StoredObject& s : file.objects)
	{
		BaseObject* op = Restore(s);
		if (!op)
		{
			BaseDocument::Free(doc);
			return nullptr;
		}
		doc->InsertObject(op, nullptr, last);
		last = op;
	}
	// Links last: they may point at objects loaded after their owner.
	struct Relink
	{
		static void Walk(BaseDocument* doc, BaseObject* op, const StoredObject& s)
		{
			for (const auto& link : s.links)
				if (BaseObject* target = ObjectAt(doc->GetFirstObject(), link.second))
					op->GetDataInstance()->SetLink(link.first, target);
			BaseObject* child = op->GetDown();
			for (const StoredObject& c : s.children)
			{
				if (!child)
					break;
				Walk(doc, child, c);
				child = child->GetNext();
			}
		}
	};
	BaseObject* op = doc->GetFirstObject();
	for (const StoredObject& s : file.objects)
	{
		Relink::Walk(doc, op, s);
		op = op->GetNext();
	}
	return doc;
}
