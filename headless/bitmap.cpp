// bitmap.cpp - bitmaps decoded from PNG files.
#include "c4d_bitmap.h"

#include <png.h>

#include <cstdio>

BaseBitmap* BaseBitmap::Alloc()
{
	return new BaseBitmap();
}

void BaseBitmap::Free(BaseBitmap*& bmp)
{
	delete bmp;
	bmp = nullptr;
}

BaseBitmap* BaseBitmap::GetClone() const
{
	return new BaseBitmap(*this);
}

void BaseBitmap::GetPixel(Int32 x, Int32 y, UChar* rgba) const
{
	if (x < 0 || y < 0 || x >= _w || y >= _h)
	{
		rgba[0] = rgba[1] = rgba[2] = rgba[3] = 0;
		return;
	}
	const UChar* p = &_rgba[(static_cast<size_t>(y) * static_cast<size_t>(_w) + static_cast<size_t>(x)) * 4];
	for (int i = 0; i < 4; ++i)
		rgba[i] = p[i];
}

IMAGERESULT BaseBitmap::Init(const Filename& name)
{
	FILE* f = std::fopen(name.Get().c_str(), "rb");
	if (!f)
		return IMAGERESULT_NOTEXISTING;
	png_image image{};
	image.version = PNG_IMAGE_VERSION;
	IMAGERESULT result = IMAGERESULT_WRONGTYPE;
	if (png_image_begin_read_from_stdio(&image, f))
	{
		image.format = PNG_FORMAT_RGBA;
		std::vector<UChar> pixels;
		try
		{
			pixels.resize(PNG_IMAGE_SIZE(image));
		}
		catch (...)
		{
			png_image_free(&image);
			std::fclose(f);
			return IMAGERESULT_OUTOFMEMORY;
		}
		if (png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr) && image.width > 0 && image.height > 0)
		{
			_w = static_cast<Int32>(image.width);
			_h = static_cast<Int32>(image.height);
			_rgba.swap(pixels);
			result = IMAGERESULT_OK;
		}
	}
	png_image_free(&image);
	std::fclose(f);
	return result;
}
