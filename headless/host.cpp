// host.cpp - console, message boxes, the string table, libraries, running mode and network rendering.
#include "host_state.h"

#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

namespace headless
{

HostState& State()
{
	static HostState state;
	return state;
}

const std::vector<std::string>& ConsoleLines() { return State().console; }
const std::vector<MessageBoxRecord>& MessageBoxes() { return State().boxes; }
void ClearConsole() { State().console.clear(); }
void ClearMessageBoxes() { State().boxes.clear(); }
void SetConsoleEcho(bool echo) { State().echo = echo; }
void SetVersionType(Int32 type) { State().version_type = type; }
void SetNetRenderService(NetRenderService* service) { State().net = service; }
void RefuseRegistration(Int32 id) { State().refuse_id = id; }

Filename FolderNetRenderService::GetJobFolder()
{
	++calls;
	return Filename(job_folder);
}

Filename FolderNetRenderService::FindLocalAsset(const String& file_name)
{
	++calls;
	for (const std::string& asset : local_assets)
		if (Filename(asset).GetFileString() == file_name)
			return Filename(asset);
	return Filename();
}

Filename FolderNetRenderService::GetLocalFolder()
{
	++calls;
	return Filename(local_folder);
}

Bool FolderNetRenderService::RequestFile(const Filename& server_path, const Filename& local_path)
{
	++calls;
	requested.push_back(server_path.Get());
	if (refuse_requests || server_folder.empty())
		return false;
	std::string source = (Filename(server_folder) + server_path.GetFile()).Get();
	std::ifstream in(source, std::ios::binary);
	if (!in)
		return false;
	std::ofstream out(local_path.Get(), std::ios::binary | std::ios::trunc);
	if (!out)
		return false;
	out << in.rdbuf();
	out.close();
	if (!out)
		return false;
	local_assets.push_back(local_path.Get());
	return true;
}

// The service of a machine without network rendering: every answer is "none".
class NoNetRenderService : public NetRenderService
{
public:
	Filename GetJobFolder() override { return Filename(); }
	Filename FindLocalAsset(const String&) override { return Filename(); }
	Filename GetLocalFolder() override { return Filename(); }
	Bool RequestFile(const Filename&, const Filename&) override { return false; }
};

void Reset()
{
	HostState& s = State();
	CloseAllWindows();
	for (Registration& r : s.registrations)
		delete r.command;
	s.registrations.clear();
	s.refuse_id = 0;
	RefuseTagAllocation(0);
	s.console.clear();
	s.boxes.clear();
	s.version_type = VERSIONTYPE_PRIME;
	s.net = nullptr;
	if (s.owns_active_doc)
	{
		BaseDocument* doc = s.active_doc;
		BaseDocument::Free(doc);
	}
	s.active_doc = nullptr;
	s.owns_active_doc = false;
	s.tp_available = true;
	s.dialog_script = nullptr;
	s.opened_dialogs.clear();
	s.event_adds = 0;
	s.draw_views = 0;
	s.texture_paths.clear();
}

// --- string tables: res/c4d_symbols.h gives each identifier its number, then
// res/strings_<language>/c4d_strings.str gives the identifier its text.
struct StringTable
{
	std::map<Int32, std::string> strings;
};

static std::string ReadText(const std::string& path, bool* ok)
{
	std::ifstream in(path, std::ios::binary);
	*ok = static_cast<bool>(in);
	std::stringstream ss;
	ss << in.rdbuf();
	return ss.str();
}

static bool IsIdentChar(char c)
{
	return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

// Parses "NAME = 123," pairs (the enum of the symbols header); comments are skipped.
std::map<std::string, Int32> ParseSymbols(const std::string& text)
{
	std::map<std::string, Int32> symbols;
	size_t i = 0, n = text.size();
	while (i < n)
	{
		if (text.compare(i, 2, "//") == 0)
		{
			i = text.find('\n', i);
			if (i == std::string::npos)
				break;
			continue;
		}
		if (std::isalpha(static_cast<unsigned char>(text[i])) || text[i] == '_')
		{
			size_t start = i;
			while (i < n && IsIdentChar(text[i]))
				++i;
			std::string name = text.substr(start, i - start);
			size_t j = i;
			while (j < n && std::isspace(static_cast<unsigned char>(text[j])))
				++j;
			if (j < n && text[j] == '=')
			{
				++j;
				while (j < n && std::isspace(static_cast<unsigned char>(text[j])))
					++j;
				char* end = nullptr;
				long v = std::strtol(text.c_str() + j, &end, 0);
				if (end != text.c_str() + j)
				{
					symbols[name] = static_cast<Int32>(v);
					i = static_cast<size_t>(end - text.c_str());
				}
			}
			continue;
		}
		++i;
	}
	return symbols;
}

// Parses the STRINGTABLE block: lines of IDENTIFIER "text"; with \" and \\ escapes.
static bool ParseStrings(const std::string& text, const std::map<std::string, Int32>& symbols, StringTable* table)
{
	size_t open = text.find("STRINGTABLE");
	if (open == std::string::npos)
		return false;
	open = text.find('{', open);
	if (open == std::string::npos)
		return false;
	size_t i = open + 1, n = text.size();
	while (i < n && text[i] != '}')
	{
		if (text.compare(i, 2, "//") == 0)
		{
			i = text.find('\n', i);
			if (i == std::string::npos)
				return false;
			continue;
		}
		if (!(std::isalpha(static_cast<unsigned char>(text[i])) || text[i] == '_'))
		{
			++i;
			continue;
		}
		size_t start = i;
		while (i < n && IsIdentChar(text[i]))
			++i;
		std::string name = text.substr(start, i - start);
		while (i < n && text[i] != '"' && text[i] != ';' && text[i] != '\n')
			++i;
		if (i >= n || text[i] != '"')
			return false;
		++i;
		std::string value;
		while (i < n && text[i] != '"')
		{
			if (text[i] == '\\' && i + 1 < n)
				++i;
			value += text[i++];
		}
		if (i >= n)
			return false;
		++i;
		auto sym = symbols.find(name);
		if (sym != symbols.end())
			table->strings[sym->second] = value;
	}
	return true;
}

} // namespace headless

using namespace headless;

void GePrint(const String& text)
{
	State().console.push_back(text.Get());
	if (State().echo)
		std::fprintf(stderr, "%s\n", text.c_str());
}

Int32 GeOutString(const String& text, Int32 flags)
{
	State().boxes.push_back({text.Get(), flags});
	if (State().echo)
		std::fprintf(stderr, "[message] %s\n", text.c_str());
	return 1;
}

void* GeResourceOpen(const Filename& module_folder)
{
	Filename res = module_folder + Filename("res");
	bool ok = false;
	std::string symbols_text = ReadText((res + Filename("c4d_symbols.h")).Get(), &ok);
	if (!ok)
		return nullptr;
	std::string strings_text = ReadText((res + Filename("strings_en-US") + Filename("c4d_strings.str")).Get(), &ok);
	if (!ok)
		return nullptr;
	StringTable* table = new StringTable;
	if (!ParseStrings(strings_text, ParseSymbols(symbols_text), table))
	{
		delete table;
		return nullptr;
	}
	return table;
}

Bool GeResourceString(const void* handle, Int32 id, String* out)
{
	if (!handle)
		return false;
	const StringTable* table = static_cast<const StringTable*>(handle);
	auto it = table->strings.find(id);
	if (it == table->strings.end())
		return false;
	*out = String(it->second);
	return true;
}

void GeResourceClose(void* handle)
{
	delete static_cast<StringTable*>(handle);
}

Filename GeGetPluginPath()
{
	return Filename(State().plugin_folder);
}

String GeGetMenuGroupPrefix(Int32 number)
{
	return String("#$" + std::to_string(number) + "#");
}

C4DLibrary* CheckLib(Int32 id)
{
	return id == State().tp_library.id ? &State().tp_library : nullptr;
}

Int32 GeGetVersionType()
{
	return State().version_type;
}

Bool GeFExist(const Filename& name, Bool is_dir)
{
	struct stat st;
	if (stat(name.Get().c_str(), &st) != 0)
		return false;
	return is_dir ? S_ISDIR(st.st_mode) : S_ISREG(st.st_mode);
}

NetRenderService* GetNetRenderService()
{
	static NoNetRenderService none;
	return State().net ? State().net : &none;
}
