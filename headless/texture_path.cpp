// texture_path.cpp - the texture search: a texture name resolved against the folders a scene keeps them in.
#include "host_state.h"

#include "c4d_material.h"

namespace
{

bool IsAbsolute(const std::string& path)
{
	if (path.empty())
		return false;
	if (path[0] == '/' || path[0] == '\\')
		return true;
	return path.size() > 1 && path[1] == ':';
}

} // namespace

void headless::SetTexturePaths(const std::vector<std::string>& folders)
{
	State().texture_paths = folders;
}

Bool GenerateTexturePath(const Filename& docpath, const Filename& srcname, const Filename& suggestedpath, Filename* dstname)
{
	if (!dstname || srcname.IsEmpty())
		return false;
	const bool absolute = IsAbsolute(srcname.Get());
	if (absolute && GeFExist(srcname))
	{
		*dstname = srcname;
		return true;
	}

	// A relative suggested folder is taken as relative to the document; an empty folder is no place
	// to look (it would make the name relative to the working directory).
	std::vector<Filename> folders;
	if (docpath.IsPopulated())
	{
		folders.push_back(docpath);
		folders.push_back(docpath + Filename("tex"));
	}
	if (suggestedpath.IsPopulated())
	{
		if (IsAbsolute(suggestedpath.Get()))
			folders.push_back(suggestedpath);
		else if (docpath.IsPopulated())
			folders.push_back(docpath + suggestedpath);
	}
	for (const std::string& folder : headless::State().texture_paths)
		if (!folder.empty())
			folders.push_back(Filename(folder));

	// The name as given below each folder first, then its bare file name (a texture that was moved
	// beside the scene, or a name saved with another machine's folders).
	const Filename file = srcname.GetFile();
	for (const Filename& folder : folders)
	{
		if (!absolute && GeFExist(folder + srcname))
		{
			*dstname = folder + srcname;
			return true;
		}
		if (file.IsPopulated() && file != srcname && GeFExist(folder + file))
		{
			*dstname = folder + file;
			return true;
		}
	}
	return false;
}
