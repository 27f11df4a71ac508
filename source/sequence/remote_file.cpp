// remote_file.cpp - relative cache paths and files fetched from a render server.
#include "remote_file.h"

#include "c4d_general.h"
#include "console.h"

#include <cstdio>
#include <cstring>

static constexpr int kPathSize = 256;

static bool IsNetRenderMode(Int32 type)
{
	return type == VERSIONTYPE_NET_CLIENT || type == VERSIONTYPE_NET_SERVER_3 || type == VERSIONTYPE_NET_SERVER_UNLIMITED;
}

static bool CopyPath(char* out, const std::string& s)
{
	if (s.size() >= static_cast<size_t>(kPathSize))
	{
		out[0] = '\0';
		return false;
	}
	std::memcpy(out, s.c_str(), s.size() + 1);
	return true;
}

void ResolveRelativePath(const char* path, BaseDocument* doc, char* out)
{
	if (!path || !path[0])
	{
		out[0] = '\0';
		return;
	}
	std::string base;
	if (IsNetRenderMode(GeGetVersionType()))
		base = GetNetRenderService()->GetJobFolder().Get();
	if (base.empty() && doc)
		base = doc->GetDocumentPath().Get();

	bool relative = path[0] != '/' && path[0] != '\\' && path[1] != ':';
	if (!relative || base.empty())
	{
		CopyPath(out, path);
		return;
	}
	char last = base.back();
	const char* format = (last == '/' || last == '\\') ? "%s%s" : "%s/%s";
	char joined[kPathSize];
	int n = std::snprintf(joined, sizeof joined, format, base.c_str(), path);
	if (n < 0 || n >= kPathSize)
	{
		out[0] = '\0';
		return;
	}
	std::memcpy(out, joined, static_cast<size_t>(n) + 1);
}

static bool CanOpen(const char* path)
{
	FILE* f = std::fopen(path, "rb");
	if (!f)
		return false;
	std::fclose(f);
	return true;
}

void FetchFile(const char* path, char* out, bool downloads_allowed)
{
	if (!path || !CopyPath(out, path))
		return;
	if (!path[0] || CanOpen(path))
		return;
	if (!downloads_allowed || GeGetVersionType() != VERSIONTYPE_NET_CLIENT)
		return;

	NetRenderService* service = GetNetRenderService();
	Filename file_name = Filename(path).GetFile();
	Filename local = service->FindLocalAsset(file_name.GetString());
	if (local.IsPopulated() && CopyPath(out, local.Get()))
		return;
	CopyPath(out, path);

	Filename folder = service->GetLocalFolder();
	Filename target = folder + file_name;
	if (folder.IsPopulated() && target.Get().size() < static_cast<size_t>(kPathSize) &&
		service->RequestFile(Filename(path), target))
	{
		PrintConsole("Downloaded from server: %s", path);
		CopyPath(out, target.Get());
		return;
	}
	PrintConsole("[ERROR] Failed to download file: %s", path);
}
