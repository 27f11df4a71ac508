// preview.cpp - twconnect preview: a material's own preview, rendered as the host's material manager
// asks for it, into a PNG.
#include "cli.h"
#include "host_session.h"
#include "scene_setup.h"

#include "plugin_ids.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

namespace
{

struct PreviewOptions
{
	std::string out, plugins;
	long long width = 200, height = 200;
};

int RunMeltPreview(const PreviewOptions& o)
{
	headless::Module module;
	if (!StartHost(module, PluginFolder(o.plugins)))
		return kExitFailed;
	BaseMaterial* melt = BaseMaterial::Alloc(ID_TW_MELT_MATERIAL);
	if (!melt)
		return CliError("preview: the module has no melt material");
	BaseBitmap* bmp = BaseBitmap::Alloc();
	int status = 0;
	if (!bmp || bmp->Init(static_cast<Int32>(o.width), static_cast<Int32>(o.height)) != IMAGERESULT_OK)
		status = CliError("preview: no memory for a picture of %lld x %lld", o.width, o.height);
	else if (const RENDERRESULT result = headless::RenderMaterialPreview(melt, bmp); result != RENDERRESULT_OK)
		status = CliError("preview: the preview did not render (result %d)", static_cast<int>(result));
	else if (!MakePictureFolder("preview", o.out))
		status = kExitFailed;
	else
	{
		errno = 0;
		if (bmp->Save(Filename(o.out), FILTER_PNG) != IMAGERESULT_OK)
			status = CliError("preview: cannot write '%s'%s%s", o.out.c_str(), errno ? ": " : "",
				errno ? std::strerror(errno) : "");
	}
	BaseBitmap::Free(bmp);
	BaseMaterial::Free(melt);
	return status;
}

} // namespace

CommandRun PreviewCommand(CLI::App& app)
{
	app.require_subcommand(1);
	CLI::App* melt = app.add_subcommand("melt", "the melt material's preview: its cube in its own scene");
	auto o = std::make_shared<PreviewOptions>();
	melt->add_option("--out", o->out, "the PNG to write")->required()->check(NonEmpty());
	melt->add_option("--width", o->width, "picture width in pixels")->transform(Integer(1, 8192));
	melt->add_option("--height", o->height, "picture height in pixels")->transform(Integer(1, 8192));
	AddPluginsOption(*melt, o->plugins);
	return [o, melt]() -> int {
		if (melt->parsed())
			return RunMeltPreview(*o);
		return CliBadArgument("preview: name the material, as 'twconnect preview melt'");
	};
}
