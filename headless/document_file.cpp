// document_file.cpp - saving a document's objects and loading them again, as the host's scene file does.
#include "host_state.h"

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

headless::StoredObject Store(const BaseObject* op)
{
	headless::StoredObject s;
	s.type = op->GetType();
	s.name = op->GetName().Get();
	s.ml = op->GetMl();
	s.data = Storable(*op->GetDataInstance());
	const headless::Registration* reg = headless::FindRegistration(op->GetType());
	s.disklevel = reg && reg->disklevel > 0 ? reg->disklevel : 0;
	for (const BaseObject* c = op->GetDown(); c; c = c->GetNext())
		s.children.push_back(Store(c));
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
	for (const BaseObject* op = doc->GetFirstObject(); op; op = op->GetNext())
		file.objects.push_back(Store(op));
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
	return doc;
}
