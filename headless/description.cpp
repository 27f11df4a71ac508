// description.cpp - descriptions read from a plug-in's resource files: .res layout, .h symbols, .str names.
#include "host_state.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

using headless::State;

namespace
{

std::string Slurp(const std::string& path)
{
	std::ifstream in(path, std::ios::binary);
	std::ostringstream s;
	s << in.rdbuf();
	return s.str();
}

// Words, numbers, quoted strings (kept with their quotes) and the punctuation { } ; = ,
std::vector<std::string> Tokens(const std::string& text)
{
	std::vector<std::string> out;
	size_t i = 0;
	while (i < text.size())
	{
		char c = text[i];
		if (std::isspace(static_cast<unsigned char>(c)))
			++i;
		else if (c == '/' && i + 1 < text.size() && text[i + 1] == '/')
			i = text.find('\n', i) == std::string::npos ? text.size() : text.find('\n', i);
		else if (c == '"')
		{
			size_t end = text.find('"', i + 1);
			if (end == std::string::npos)
				end = text.size() - 1;
			out.push_back(text.substr(i, end - i + 1));
			i = end + 1;
		}
		else if (std::strchr("{};=,", c))
		{
			out.emplace_back(1, c);
			++i;
		}
		else
		{
			size_t j = i;
			while (j < text.size() && !std::isspace(static_cast<unsigned char>(text[j])) && !std::strchr("{};=,\"", text[j]))
				++j;
			out.push_back(text.substr(i, j - i));
			i = j;
		}
	}
	return out;
}

const std::map<std::string, Int32>& ElementTypes()
{
	static const std::map<std::string, Int32> types = {{"GROUP", DTYPE_GROUP}, {"LONG", DTYPE_LONG}, {"REAL", DTYPE_REAL},
		{"BOOL", DTYPE_BOOL}, {"FILENAME", DTYPE_FILENAME}, {"STRING", DTYPE_STRING}, {"BUTTON", DTYPE_BUTTON},
		{"GRADIENT", DTYPE_GRADIENT}, {"LINK", DTYPE_BASELISTLINK}, {"BASETIME", DTYPE_TIME}, {"VECTOR", DTYPE_VECTOR},
		{"SEPARATOR", DTYPE_SEPARATOR}, {"STATICTEXT", DTYPE_STATICTEXT}};
	return types;
}

struct ResourceParser
{
	std::vector<std::string> tok;
	size_t pos = 0;
	std::map<std::string, Int32> symbols;
	std::map<std::string, std::string> names;
	std::vector<DescElement> out;

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
		return std::isdigit(static_cast<unsigned char>(s.empty() ? 'x' : s[0])) ? std::atoi(s.c_str()) : 0;
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

	// Elements until the closing brace of the current block.
	void Elements(Int32 parent)
	{
		while (More() && Peek() != "}")
		{
			auto type = ElementTypes().find(Peek());
			if (type == ElementTypes().end())
			{
				// a setting of the enclosing block (NAME x; DEFAULT 1; INCLUDE Obase; ...)
				while (More() && Peek() != ";" && Peek() != "}" && Peek() != "{")
					++pos;
				if (Peek() == "{")
					SkipBlock();
				else if (Peek() == ";")
					++pos;
				continue;
			}
			++pos;
			DescElement e;
			e.dtype = type->second;
			e.parent = parent;
			if (Peek() != "{" && Peek() != ";")
			{
				auto n = names.find(Peek());
				if (n != names.end())
					e.name = String(n->second);
				e.id = Symbol(tok[pos++]);
			}
			if (Peek() == ";")
				++pos;
			else if (Peek() == "{")
			{
				++pos;
				size_t index = out.size();
				out.push_back(e);
				if (e.dtype == DTYPE_GROUP)
					Elements(e.id);
				else
					Settings(index);
				if (Peek() == "}")
					++pos;
				continue;
			}
			out.push_back(e);
		}
	}

	void Settings(size_t index)
	{
		while (More() && Peek() != "}")
		{
			if (Peek() == "CYCLE" && pos + 1 < tok.size() && tok[pos + 1] == "{")
			{
				pos += 2;
				while (More() && Peek() != "}")
				{
					const std::string& s = tok[pos++];
					if (s == ";")
						continue;
					auto n = names.find(s);
					out[index].cycle.emplace_back(Symbol(s), String(n != names.end() ? n->second : s));
				}
				++pos;
			}
			else if ((Peek() == "MIN" || Peek() == "MAX") && pos + 1 < tok.size())
			{
				DescElement& e = out[index];
				const bool is_min = Peek() == "MIN";
				(is_min ? e.has_min : e.has_max) = true;
				(is_min ? e.min : e.max) = std::strtod(tok[pos + 1].c_str(), nullptr);
				pos += 2;
			}
			else if (Peek() == "{")
				SkipBlock();
			else
				++pos;
		}
	}
};

} // namespace

std::vector<std::string> headless::ResourceTokens(const std::string& text)
{
	return Tokens(text);
}

BaseContainer GetCustomDataTypeDefault(Int32 dtype)
{
	BaseContainer bc(dtype);
	return bc;
}

Bool Description::LoadDescription(Int32 type)
{
	const headless::Registration* reg = headless::FindRegistration(type);
	if (!reg || reg->description.empty())
		return false;
	const std::string res = State().plugin_folder + "/res/description/" + reg->description;
	std::string layout = Slurp(res + ".res");
	if (layout.empty())
		return false;
	ResourceParser p;
	// enum symbols of the .h: NAME = value
	std::vector<std::string> h = Tokens(Slurp(res + ".h"));
	for (size_t i = 0; i + 2 < h.size(); ++i)
		if (h[i + 1] == "=")
			p.symbols[h[i]] = std::atoi(h[i + 2].c_str());
	// names of the .str: SYMBOL "text"
	std::vector<std::string> str =
		Tokens(Slurp(State().plugin_folder + "/res/strings_en-US/description/" + reg->description + ".str"));
	for (size_t i = 0; i + 1 < str.size(); ++i)
		if (str[i + 1].size() >= 2 && str[i + 1][0] == '"')
			p.names[str[i]] = str[i + 1].substr(1, str[i + 1].size() - 2);
	p.tok = Tokens(layout);
	// CONTAINER name { ... }
	while (p.More() && p.Peek() != "{")
		++p.pos;
	if (p.More())
		++p.pos;
	p.Elements(0);
	_elements = std::move(p.out);
	return true;
}

Bool Description::SetParameter(const DescID& id, const BaseContainer& bc, const DescID& group)
{
	DescElement e;
	e.id = id.id;
	e.dtype = id.dtype != DTYPE_NONE ? id.dtype : bc.GetId();
	e.name = bc.GetString(DESC_NAME);
	e.parent = group.id;
	BaseContainer cycle = bc.GetContainer(DESC_CYCLE);
	for (Int32 v : cycle.GetIds())
		e.cycle.emplace_back(v, cycle.GetString(v));
	if (const GeData* min = bc.GetDataPointer(DESC_MIN))
	{
		e.has_min = true;
		e.min = min->GetFloat();
	}
	if (const GeData* max = bc.GetDataPointer(DESC_MAX))
	{
		e.has_max = true;
		e.max = max->GetFloat();
	}
	for (DescElement& old : _elements)
		if (old.id == e.id)
		{
			old = e;
			return true;
		}
	_elements.push_back(e);
	return true;
}

const DescElement* Description::Find(Int32 id) const
{
	for (const DescElement& e : _elements)
		if (e.id == id)
			return &e;
	return nullptr;
}
