// dialog.cpp - dialogs from the module's dialog resources, the driver that works them, commands and views.
#include "dialog_state.h"
#include "host_state.h"

#include <dirent.h>

#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <fstream>
#include <sstream>

using headless::Gadget;
using headless::State;

namespace
{

// Outside the host's state: a watcher outlives the dialogs, and Reset leaves it to whoever set it.
headless::DialogTextObserver g_text_observer;

} // namespace

namespace
{

std::string Slurp(const std::string& path)
{
	std::ifstream in(path, std::ios::binary);
	std::ostringstream s;
	s << in.rdbuf();
	return s.str();
}

std::string Unquote(const std::string& t)
{
	return t.size() >= 2 && t.front() == '"' ? t.substr(1, t.size() - 2) : t;
}

const char* const kGadgetKinds[] = {"STATICTEXT", "FILENAME", "CHECKBOX", "BUTTON", "EDITTEXT", "EDITNUMBER",
	"EDITNUMBERARROWS", "EDITSLIDER", "COMBOBOX", "POPUPBUTTON", "LISTVIEW", "RADIOGROUP", "SEPARATOR", "USERAREA"};

bool IsGadgetKind(const std::string& word)
{
	for (const char* k : kGadgetKinds)
		if (word == k)
			return true;
	return false;
}

GeData InitialValue(const std::string& kind)
{
	if (kind == "FILENAME")
		return GeData(Filename());
	if (kind == "CHECKBOX")
		return GeData(false);
	if (kind == "EDITNUMBER" || kind == "EDITNUMBERARROWS" || kind == "EDITSLIDER")
		return GeData(0.0);
	if (kind == "COMBOBOX" || kind == "POPUPBUTTON" || kind == "RADIOGROUP")
		return GeData(Int32(0));
	if (kind == "STATICTEXT" || kind == "EDITTEXT")
		return GeData(String());
	return GeData();
}

// One dialog of a resource file: DIALOG SYMBOL { NAME title; GROUP { gadgets... } ... }
struct DialogParser
{
	std::vector<std::string> tok;
	size_t pos = 0;
	std::map<std::string, Int32> symbols;
	std::map<std::string, std::string> texts;
	GeDialogState* out = nullptr;

	bool More() const { return pos < tok.size(); }
	const std::string& Peek() const
	{
		static const std::string none;
		return More() ? tok[pos] : none;
	}
	Int32 Symbol(const std::string& s) const
	{
		auto it = symbols.find(s);
		if (it != symbols.end())
			return it->second;
		return !s.empty() && (std::isdigit(static_cast<unsigned char>(s[0])) || s[0] == '-') ? std::atoi(s.c_str()) : 0;
	}
	std::string Text(const std::string& s) const
	{
		auto it = texts.find(s);
		return it != texts.end() ? it->second : Unquote(s);
	}
	void SkipBlock()
	{
		int depth = 0;
		while (More())
		{
			const std::string& t = tok[pos++];
			if (t == "{")
				++depth;
			else if (t == "}" && --depth <= 0)
				return;
		}
	}
	// Settings and gadgets up to the closing brace of the current block; name receives NAME.
	void Block(std::string* name)
	{
		while (More() && Peek() != "}")
		{
			const std::string word = tok[pos++];
			if (word == "GROUP" || word == "SCROLLGROUP" || word == "DLGGROUP" || IsGadgetKind(word))
			{
				Gadget g;
				g.kind = word;
				if (Peek() != "{" && Peek() != ";")
					g.id = Symbol(tok[pos++]);
				g.value = InitialValue(word);
				const bool container = word == "GROUP" || word == "SCROLLGROUP" || word == "DLGGROUP";
				if (Peek() == "{")
				{
					++pos;
					if (word == "DLGGROUP")
						DialogButtons();
					else if (container)
						Block(nullptr);
					else
						Settings(&g);
					if (Peek() == "}")
						++pos;
				}
				else if (Peek() == ";")
					++pos;
				if (!container && g.id != 0)
					out->gadgets.push_back(g);
				continue;
			}
			// a setting: NAME x; SCALE_H; COLUMNS 2; ...
			if (word == "NAME" && name && More())
				*name = Text(tok[pos]);
			while (More() && Peek() != ";" && Peek() != "}" && Peek() != "{")
				++pos;
			if (Peek() == "{")
				SkipBlock();
			else if (Peek() == ";")
				++pos;
		}
	}
	// DLGGROUP { OK; CANCEL; }: the host's own buttons, IDs 1 and 2.
	void DialogButtons()
	{
		while (More() && Peek() != "}")
		{
			const std::string& t = tok[pos++];
			if (t == "OK" || t == "CANCEL")
			{
				Gadget g;
				g.kind = "BUTTON";
				g.id = t == "OK" ? 1 : 2;
				g.name = t;
				out->gadgets.push_back(g);
			}
		}
	}
	void Settings(Gadget* g)
	{
		while (More() && Peek() != "}")
		{
			const std::string word = tok[pos++];
			if (word == "NAME" && More())
				g->name = Text(tok[pos++]);
			else if (word == "CHILDS" && Peek() == "{")
			{
				// CHILDS { 0, IDS_A; 1, IDS_B; }
				++pos;
				while (More() && Peek() != "}")
				{
					const std::string value = tok[pos++];
					if (value == ";" || value == ",")
						continue;
					if (Peek() == ",")
						++pos;
					if (More() && Peek() != "}")
						g->children.emplace_back(Symbol(value), Text(tok[pos++]));
				}
				if (More())
					++pos;
			}
			else if (word == "{")
			{
				--pos;
				SkipBlock();
			}
		}
	}
};

std::vector<std::string> DialogFiles(const std::string& folder)
{
	std::vector<std::string> names;
	if (DIR* dir = opendir(folder.c_str()))
	{
		while (dirent* e = readdir(dir))
		{
			std::string n = e->d_name;
			if (n.size() > 4 && n.compare(n.size() - 4, 4, ".res") == 0)
				names.push_back(n.substr(0, n.size() - 4));
		}
		closedir(dir);
	}
	return names;
}

} // namespace

// --- dialogs

GeDialog::GeDialog() : _state(new GeDialogState()) {}

GeDialog::~GeDialog()
{
	if (_state->async && _state->open)
		headless::ForgetWindow(this);
	delete _state;
}

Bool GeDialog::LoadDialogResource(Int32 id, GeResource* lr, Int32 flags)
{
	(void)lr;
	(void)flags;
	const std::string res = State().plugin_folder + "/res";
	const std::map<std::string, Int32> symbols = headless::ParseSymbols(Slurp(res + "/c4d_symbols.h"));
	for (const std::string& base : DialogFiles(res + "/dialogs"))
	{
		DialogParser p;
		p.tok = headless::ResourceTokens(Slurp(res + "/dialogs/" + base + ".res"));
		p.symbols = symbols;
		size_t start = 0;
		while (start + 1 < p.tok.size() && !(p.tok[start] == "DIALOG" && p.Symbol(p.tok[start + 1]) == id))
			++start;
		if (start + 1 >= p.tok.size())
			continue;
		// DIALOGSTRINGS SYMBOL { IDS_X "text"; ... }
		std::vector<std::string> str = headless::ResourceTokens(Slurp(res + "/strings_en-US/dialogs/" + base + ".str"));
		for (size_t i = 0; i + 1 < str.size(); ++i)
			if (str[i + 1].size() >= 2 && str[i + 1][0] == '"')
				p.texts[str[i]] = Unquote(str[i + 1]);
		p.out = _state;
		_state->gadgets.clear();
		_state->resource_id = id;
		p.pos = start + 2;
		if (p.Peek() != "{")
			return false;
		++p.pos;
		p.Block(&_state->title);
		return true;
	}
	return false;
}

Bool GeDialog::SetTitle(const String& title)
{
	_state->title = title.Get();
	return true;
}

Bool GeDialog::SetString(Int32 id, const String& text)
{
	Gadget* g = _state->Find(id);
	if (!g)
		return false;
	g->value = g->kind == "FILENAME" ? GeData(Filename(text)) : GeData(text);
	if (g_text_observer)
	{
		// a copy: the observer may remove itself
		const headless::DialogTextObserver observer = g_text_observer;
		observer(_state->resource_id, id, text.Get());
	}
	return true;
}

Bool GeDialog::GetString(Int32 id, String& text) const
{
	Gadget* g = _state->Find(id);
	if (!g)
		return false;
	text = g->value.GetType() == DA_FILENAME ? g->value.GetFilename().GetString() : g->value.GetString();
	return true;
}

Bool GeDialog::SetFilename(Int32 id, const Filename& fn)
{
	Gadget* g = _state->Find(id);
	if (!g)
		return false;
	g->value = GeData(fn);
	return true;
}

Bool GeDialog::GetFilename(Int32 id, Filename& fn) const
{
	Gadget* g = _state->Find(id);
	if (!g)
		return false;
	fn = g->value.GetFilename();
	return true;
}

Bool GeDialog::SetBool(Int32 id, Bool value)
{
	Gadget* g = _state->Find(id);
	if (!g)
		return false;
	g->value = GeData(value);
	return true;
}

Bool GeDialog::GetBool(Int32 id, Bool& value) const
{
	Gadget* g = _state->Find(id);
	if (!g)
		return false;
	value = g->value.GetBool();
	return true;
}

Bool GeDialog::SetInt32(Int32 id, Int32 value, Int32 min, Int32 max, Int32 step)
{
	(void)step;
	Gadget* g = _state->Find(id);
	if (!g)
		return false;
	g->value = GeData(value);
	g->integer = true;
	g->min = min;
	g->max = max < min ? min : max;
	return true;
}

Bool GeDialog::GetInt32(Int32 id, Int32& value) const
{
	Gadget* g = _state->Find(id);
	if (!g)
		return false;
	value = g->value.GetInt32();
	return true;
}

Bool GeDialog::SetFloat(Int32 id, Float value, Float min, Float max, Float step)
{
	(void)step;
	Gadget* g = _state->Find(id);
	if (!g)
		return false;
	g->value = GeData(value);
	g->integer = false;
	g->min = min;
	g->max = max < min ? min : max;
	return true;
}

Bool GeDialog::GetFloat(Int32 id, Float& value) const
{
	Gadget* g = _state->Find(id);
	if (!g)
		return false;
	value = g->value.GetFloat();
	return true;
}

Bool GeDialog::AddChild(Int32 id, Int32 subid, const String& child)
{
	Gadget* g = _state->Find(id);
	if (!g)
		return false;
	g->children.emplace_back(subid, child.Get());
	return true;
}

Bool GeDialog::FreeChildren(Int32 id)
{
	Gadget* g = _state->Find(id);
	if (!g)
		return false;
	g->children.clear();
	return true;
}

Bool GeDialog::Enable(Int32 id, Bool enabled)
{
	Gadget* g = _state->Find(id);
	if (!g)
		return false;
	g->enabled = enabled;
	return true;
}

Bool GeModalDialog::Open(Int32 xpos, Int32 ypos, Int32 defaultw, Int32 defaulth, Bool resizeable)
{
	(void)xpos;
	(void)ypos;
	(void)defaultw;
	(void)defaulth;
	(void)resizeable;
	_state->open = false;
	_state->result = false;
	if (!CreateLayout())
		return false;
	_state->open = true;
	InitValues();
	State().opened_dialogs.push_back(_state->resource_id);
	// a copy: the script may install another one while it runs
	headless::DialogScript script = State().dialog_script;
	if (script)
	{
		headless::DialogDriver driver(this);
		script(driver);
	}
	if (_state->open)
	{
		_state->open = false;
		_state->result = false;
	}
	return _state->result;
}

Bool GeModalDialog::Close(Bool result)
{
	if (!_state->open)
		return false;
	_state->open = false;
	_state->result = result;
	return true;
}

Bool GeModalDialog::GetResult() const
{
	return _state->result;
}

// --- the driver

namespace headless
{

Int32 DialogDriver::ResourceId() const
{
	return GeDialogAccess::Of(_dialog)->resource_id;
}

std::string DialogDriver::Title() const
{
	return GeDialogAccess::Of(_dialog)->title;
}

std::vector<Gadget> DialogDriver::Gadgets() const
{
	return GeDialogAccess::Of(_dialog)->gadgets;
}

bool DialogDriver::HasGadget(Int32 id) const
{
	return GeDialogAccess::Of(_dialog)->Find(id) != nullptr;
}

std::string DialogDriver::GetText(Int32 id) const
{
	const Gadget* g = GeDialogAccess::Of(_dialog)->Find(id);
	if (!g)
		return std::string();
	switch (g->value.GetType())
	{
		case DA_FILENAME: return g->value.GetFilename().Get();
		case DA_STRING: return g->value.GetString().Get();
		case DA_LONG: return std::to_string(g->value.GetInt32());
		case DA_REAL:
		{
			char buf[64];
			std::snprintf(buf, sizeof buf, "%g", g->value.GetFloat());
			return buf;
		}
		default: return std::string();
	}
}

bool DialogDriver::GetCheck(Int32 id) const
{
	const Gadget* g = GeDialogAccess::Of(_dialog)->Find(id);
	return g && g->value.GetBool();
}

bool DialogDriver::IsEnabled(Int32 id) const
{
	const Gadget* g = GeDialogAccess::Of(_dialog)->Find(id);
	return g && g->enabled;
}

bool DialogDriver::IsOpen() const
{
	return GeDialogAccess::Of(_dialog)->open;
}

// A user's change of a gadget: the value lands, then the dialog hears of it.
static bool Change(GeDialog* dialog, Int32 id, const GeData* value)
{
	GeDialogState* s = GeDialogAccess::Of(dialog);
	Gadget* g = s->Find(id);
	if (!s->open || !g || !g->enabled)
		return false;
	if (value)
		g->value = *value;
	BaseContainer msg(BFM_ACTION);
	msg.SetData(BFM_ACTION_VALUE, g->value);
	dialog->Command(id, msg);
	return true;
}

static const Gadget* FindGadget(GeDialog* dialog, Int32 id)
{
	return GeDialogAccess::Of(dialog)->Find(id);
}

static bool IsKind(const Gadget* g, std::initializer_list<const char*> kinds)
{
	if (!g)
		return false;
	for (const char* k : kinds)
		if (g->kind == k)
			return true;
	return false;
}

static bool IsNumber(const Gadget* g)
{
	return IsKind(g, {"EDITNUMBER", "EDITNUMBERARROWS", "EDITSLIDER"});
}

static bool IsChoice(const Gadget* g)
{
	return IsKind(g, {"COMBOBOX", "POPUPBUTTON", "RADIOGROUP"});
}

Int32 DialogDriver::GetInt32(Int32 id) const
{
	const Gadget* g = FindGadget(_dialog, id);
	return g ? g->value.GetInt32() : 0;
}

Float DialogDriver::GetFloat(Int32 id) const
{
	const Gadget* g = FindGadget(_dialog, id);
	return g ? g->value.GetFloat() : 0.0;
}

Int32 DialogDriver::GetSelection(Int32 id) const
{
	return GetInt32(id);
}

std::string DialogDriver::GetSelectionText(Int32 id) const
{
	const Gadget* g = FindGadget(_dialog, id);
	if (!IsChoice(g))
		return std::string();
	for (const auto& child : g->children)
		if (child.first == g->value.GetInt32())
			return child.second;
	return std::string();
}

bool DialogDriver::SetFilename(Int32 id, const std::string& path)
{
	if (!IsKind(FindGadget(_dialog, id), {"FILENAME"}))
		return false;
	const GeData v{Filename(path)};
	return Change(_dialog, id, &v);
}

bool DialogDriver::SetText(Int32 id, const std::string& text)
{
	const Gadget* g = FindGadget(_dialog, id);
	if (!IsKind(g, {"EDITTEXT", "FILENAME"}))
		return false;
	const GeData v = g->kind == "FILENAME" ? GeData(Filename(text)) : GeData(String(text));
	return Change(_dialog, id, &v);
}

bool DialogDriver::SetCheck(Int32 id, bool on)
{
	if (!IsKind(FindGadget(_dialog, id), {"CHECKBOX"}))
		return false;
	const GeData v{Bool(on)};
	return Change(_dialog, id, &v);
}

bool DialogDriver::SetInt32(Int32 id, Int32 value)
{
	const Gadget* g = FindGadget(_dialog, id);
	if (IsChoice(g))
		return Select(id, value);
	return SetFloat(id, static_cast<Float>(value));
}

bool DialogDriver::SetFloat(Int32 id, Float value)
{
	const Gadget* g = FindGadget(_dialog, id);
	if (!IsNumber(g) || std::isnan(value))
		return false;
	Float v = value < g->min ? g->min : value > g->max ? g->max : value;
	if (g->integer)
	{
		v = std::round(v);
		const GeData d{static_cast<Int32>(v < -2147483648.0 ? -2147483648.0 : v > 2147483647.0 ? 2147483647.0 : v)};
		return Change(_dialog, id, &d);
	}
	const GeData d{v};
	return Change(_dialog, id, &d);
}

bool DialogDriver::Select(Int32 id, Int32 entry)
{
	const Gadget* g = FindGadget(_dialog, id);
	if (!IsChoice(g))
		return false;
	bool listed = false;
	for (const auto& child : g->children)
		listed = listed || child.first == entry;
	if (!listed)
		return false;
	const GeData v{entry};
	return Change(_dialog, id, &v);
}

bool DialogDriver::SelectText(Int32 id, const std::string& text)
{
	const Gadget* g = FindGadget(_dialog, id);
	if (!IsChoice(g))
		return false;
	for (const auto& child : g->children)
		if (child.second == text)
			return Select(id, child.first);
	return false;
}

bool DialogDriver::Press(Int32 id)
{
	if (!IsKind(FindGadget(_dialog, id), {"BUTTON"}) || !Change(_dialog, id, nullptr))
		return false;
	// the host's own OK and Cancel buttons (DLGGROUP) close the dialog after its Command
	if ((id == 1 || id == 2) && IsOpen())
		CloseWindowState(_dialog, id == 1);
	return true;
}

bool DialogDriver::CloseWindow()
{
	GeDialogState* s = GeDialogAccess::Of(_dialog);
	if (!s->open || _dialog->AskClose())
		return false;
	CloseWindowState(_dialog, false);
	return true;
}

void SetModalDialogScript(DialogScript script)
{
	State().dialog_script = std::move(script);
}

void SetDialogTextObserver(DialogTextObserver observer)
{
	g_text_observer = std::move(observer);
}

const std::vector<Int32>& OpenedDialogs()
{
	return State().opened_dialogs;
}

int EventAddCount()
{
	return State().event_adds;
}

int DrawViewsCount()
{
	return State().draw_views;
}

} // namespace headless

// --- views and commands

void EventAdd(Int32 flags)
{
	(void)flags;
	++State().event_adds;
}

Bool DrawViews(Int32 flags, BaseDraw* bd)
{
	(void)flags;
	(void)bd;
	++State().draw_views;
	return true;
}

void CallCommand(Int32 id, Int32 subid)
{
	(void)subid;
	const headless::Registration* reg = headless::FindRegistration(id);
	if (!reg)
		return;
	if (reg->kind == headless::KIND_COMMAND && reg->command)
		reg->command->Execute(GetActiveDocument());
	else if (reg->kind == headless::KIND_OBJECT)
		if (BaseObject* op = BaseObject::Alloc(id))
			GetActiveDocument()->InsertObject(op, nullptr, nullptr);
}
