// evaluate.cpp - evaluating a document: generators and deformers in hierarchy order.
#include "host_state.h"

BaseObject* BaseDocument::SearchObject(const String& name) const
{
	std::vector<BaseObject*> stack;
	for (BaseObject* op = _first; op; op = op->GetNext())
		stack.push_back(op);
	// Pre-order: an object before its children, siblings in list order.
	std::vector<BaseObject*> todo(stack.rbegin(), stack.rend());
	while (!todo.empty())
	{
		BaseObject* op = todo.back();
		todo.pop_back();
		if (op->GetName() == name)
			return op;
		std::vector<BaseObject*> kids;
		for (BaseObject* c = op->GetDown(); c; c = c->GetNext())
			kids.push_back(c);
		todo.insert(todo.end(), kids.rbegin(), kids.rend());
	}
	return nullptr;
}

BaseContainer* BaseDocument::GetSettingsInstance(Int32 type)
{
	return &_settings[type];
}

BaseSceneHook* BaseDocument::FindSceneHook(Int32 id) const
{
	(void)id;
	return nullptr;
}

Bool BaseDocument::ExecutePasses(BaseThread* bt, Bool animation, Bool expressions, Bool caches, Int32 flags)
{
	(void)bt;
	(void)animation;
	(void)expressions;
	(void)caches;
	(void)flags;
	return true;
}
