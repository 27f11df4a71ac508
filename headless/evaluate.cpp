// evaluate.cpp - evaluating a document: particles, then generators and deformers in hierarchy order.
#include "host_state.h"

#include "c4d_material.h"
#include "c4d_particleobject.h"
#include "c4d_particles.h"

#include <algorithm>

using headless::State;

namespace
{

// Pre-order: an object before its children, siblings in list order.
template <typename F>
void EachObject(BaseObject* first, F&& f)
{
	std::vector<BaseObject*> todo;
	for (BaseObject* op = first; op; op = op->GetNext())
		todo.push_back(op);
	std::reverse(todo.begin(), todo.end());
	while (!todo.empty())
	{
		BaseObject* op = todo.back();
		todo.pop_back();
		if (!f(op))
			return;
		std::vector<BaseObject*> kids;
		for (BaseObject* c = op->GetDown(); c; c = c->GetNext())
			kids.push_back(c);
		todo.insert(todo.end(), kids.rbegin(), kids.rend());
	}
}

Int32 InfoOf(const BaseObject* op)
{
	const headless::Registration* reg = headless::FindRegistration(op->GetType());
	return reg && reg->kind == headless::KIND_OBJECT ? reg->info : 0;
}

} // namespace

BaseObject* BaseDocument::SearchObject(const String& name) const
{
	BaseObject* found = nullptr;
	EachObject(_first, [&](BaseObject* op) {
		if (op->GetName() == name)
			found = op;
		return found == nullptr;
	});
	return found;
}

BaseContainer* BaseDocument::GetSettingsInstance(Int32 type)
{
	return &_settings[type];
}

BaseSceneHook* BaseDocument::FindSceneHook(Int32 id) const
{
	if (id != ID_THINKINGPARTICLES || !State().tp_available)
		return nullptr;
	if (!_particles)
		_particles = new TP_MasterSystem();
	return _particles;
}

void headless::SetThinkingParticlesAvailable(bool available)
{
	State().tp_available = available;
}

// Deformer children deform a copy of what the object shows (its cache, or itself). Every deformer
// is asked whether it changed (CheckDirty) at every evaluation; they deform a fresh copy only when
// one of them, the object or its cache changed since they last ran. Otherwise the last result
// stays, so a deformer that does not mark itself dirty keeps showing it.
void BaseDocument::Deform(BaseObject* op, BaseThread* bt)
{
	std::vector<std::pair<BaseObject*, ObjectData*>> mods;
	for (BaseObject* mod = op->GetDown(); mod; mod = mod->GetNext())
	{
		ObjectData* md = dynamic_cast<ObjectData*>(mod->GetNodeData());
		if (md && (InfoOf(mod) & OBJECT_MODIFIER))
		{
			md->CheckDirty(mod, this);
			mods.emplace_back(mod, md);
		}
	}
	if (mods.empty())
	{
		BaseObject::Free(op->_deform_cache);
		op->_deform.reset();
		return;
	}
	std::vector<UInt64> inputs{op->GetDirty(DIRTYFLAGS_DATA | DIRTYFLAGS_MATRIX | DIRTYFLAGS_CACHE)};
	for (const auto& m : mods)
	{
		inputs.push_back(reinterpret_cast<uintptr_t>(m.first));
		inputs.push_back(m.first->GetDirty(DIRTYFLAGS_DATA | DIRTYFLAGS_MATRIX));
	}
	const Matrix mg = op->GetMg();
	if (op->_deform_cache && op->_deform && inputs == op->_deform->inputs && mg == op->_deform->mg)
		return;
	BaseObject::Free(op->_deform_cache);
	if (!op->_deform)
		op->_deform.reset(new BaseObject::DeformRecord);
	op->_deform->inputs = inputs;
	op->_deform->mg = mg;
	const BaseObject* shown = op->_cache ? op->_cache : op;
	op->_deform_cache = shown->GetClone(COPYFLAGS_NO_HIERARCHY);
	if (!op->_deform_cache)
		return;
	for (const auto& m : mods)
		m.second->ModifyObject(m.first, this, op->_deform_cache, mg, m.first->GetMg(), 1.0, 0, bt);
}

// A generator's result becomes its cache; a primitive's polygons are rebuilt when its parameters
// changed. The generators inside a result (a copy of a generator, even of op itself) then build
// theirs, down to a few levels. The result's hierarchy is walked without recursion or lists, so a
// result of a million objects under one null costs a glance at each.
void BaseDocument::BuildCache(BaseObject* op, HierarchyHelp* hh, Int32 depth)
{
	constexpr Int32 kMaxNesting = 6;
	ObjectData* data = dynamic_cast<ObjectData*>(op->GetNodeData());
	if (data && (InfoOf(op) & OBJECT_GENERATOR))
	{
		BaseObject* result = data->GetVirtualObjects(op, hh);
		if (result != op->_cache)
		{
			BaseObject::Free(op->_cache);
			op->_cache = result;
			op->SetDirty(DIRTYFLAGS_CACHE);
		}
	}
	else if (headless::IsPrimitive(op))
	{
		if (!op->_cache || op->IsDirty(DIRTYFLAGS_DATA))
		{
			BaseObject::Free(op->_cache);
			op->_cache = headless::BuildPrimitive(op);
			op->SetDirty(DIRTYFLAGS_CACHE);
		}
	}
	else
		return;
	op->_cache_dirty = op->GetDirty(DIRTYFLAGS_DATA);
	op->_cache_dirty_matrix = op->GetDirty(DIRTYFLAGS_MATRIX);
	BaseObject* root = op->_cache;
	if (!root || depth >= kMaxNesting)
		return;
	for (BaseObject* o = root; o;)
	{
		if (o->GetNodeData() || headless::IsPrimitive(o))
			BuildCache(o, hh, depth + 1);
		if (o->GetDown())
		{
			o = o->GetDown();
			continue;
		}
		while (o != root && !o->GetNext())
			o = o->GetUp();
		o = o == root ? nullptr : o->GetNext();
	}
}

Bool BaseDocument::ExecutePasses(BaseThread* bt, Bool animation, Bool expressions, Bool caches, Int32 flags)
{
	(void)expressions;
	(void)flags;
	// A generator may evaluate the document from inside its own evaluation (the host allows it); a
	// chain that keeps doing so is cut off rather than overflowing the stack.
	if (_pass_depth >= 4)
		return false;
	++_pass_depth;
	if (TP_MasterSystem* master = GetThinkingParticlesMaster(this))
		master->RunPass(_time);
	if (animation)
		EachObject(_first, [&](BaseObject* op) {
			headless::AnimateObject(op, _time);
			return true;
		});
	// Emitters after the animation: their particles start from where the emitter now stands.
	EachObject(_first, [&](BaseObject* op) {
		if (op->GetType() == Oparticle)
			static_cast<ParticleObject*>(op)->Emit(this);
		return true;
	});
	if (caches)
	{
		HierarchyHelp hh(this);
		EachObject(_first, [&](BaseObject* op) {
			BuildCache(op, &hh, 0);
			Deform(op, bt);
			return true;
		});
	}
	--_pass_depth;
	return true;
}

// --- what a user does in the attribute manager

Bool headless::PressButton(BaseList2D* node, Int32 id)
{
	if (!node)
		return false;
	DescriptionCommand dc;
	dc.id = id;
	return node->Message(MSG_DESCRIPTION_COMMAND, &dc);
}

std::vector<DescElement> headless::GetDescription(BaseList2D* node)
{
	Description desc;
	Int32 flags = 0;
	if (node && node->GetNodeData())
		node->GetNodeData()->GetDDescription(node, &desc, flags);
	return desc.Elements();
}

bool headless::IsEnabled(BaseList2D* node, Int32 id)
{
	if (!node || !node->GetNodeData())
		return true;
	return node->GetNodeData()->GetDEnabling(node, id, node->GetParameter(id), 0, nullptr);
}

// --- rendering and assets

void headless::NotifyRender(BaseDocument* doc, Bool start)
{
	RenderNotificationData rn;
	rn.doc = doc;
	rn.start = start;
	EachObject(doc->GetFirstObject(), [&](BaseObject* op) {
		op->Message(MSG_MULTI_RENDERNOTIFICATION, &rn);
		return true;
	});
	// materials hear it too: one that reports problems does so once per render
	for (BaseMaterial* mat = doc->GetFirstMaterial(); mat; mat = mat->GetNext())
		mat->Message(MSG_MULTI_RENDERNOTIFICATION, &rn);
}

void headless::RenderDocument(BaseDocument* doc, const std::vector<BaseTime>& times,
	const std::function<void(const BaseTime&)>& after_each)
{
	if (!doc)
		return;
	const BaseTime before = doc->GetTime();
	NotifyRender(doc, true);
	for (const BaseTime& t : times)
	{
		doc->SetTime(t);
		doc->ExecutePasses(nullptr, true, true, true, 0);
		if (after_each)
			after_each(t);
	}
	NotifyRender(doc, false);
	doc->SetTime(before);
}

std::vector<AssetEntry> headless::CollectAssets(BaseDocument* doc, Int32 flags)
{
	std::vector<AssetEntry> list;
	if (!doc)
		return list;
	AssetData ad;
	ad.doc = doc;
	ad.flags = flags;
	ad.list = &list;
	EachObject(doc->GetFirstObject(), [&](BaseObject* op) {
		op->Message(MSG_GETALLASSETS, &ad);
		return true;
	});
	return list;
}
