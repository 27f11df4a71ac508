// bitmap.cpp - bitmaps decoded from PNG files.
#include "c4d_bitmap.h"
#include "headless.h"
#include "host_state.h"

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

IMAGERESULT BaseBitmap::Init(Int32 x, Int32 y, Int32 depth)
{
	if (x <= 0 || y <= 0 || (depth != 24 && depth != 32) || x > 65535 || y > 65535)
		return IMAGERESULT_WRONGTYPE;
	std::vector<UChar> pixels;
	try
	{
		pixels.assign(static_cast<size_t>(x) * static_cast<size_t>(y) * 4, 0);
	}
	catch (...)
	{
		return IMAGERESULT_OUTOFMEMORY;
	}
	for (size_t i = 3; i < pixels.size(); i += 4)
		pixels[i] = 255;
	_w = x;
	_h = y;
	_rgba.swap(pixels);
	return IMAGERESULT_OK;
}

Bool BaseBitmap::SetPixel(Int32 x, Int32 y, Int32 r, Int32 g, Int32 b)
{
	if (x < 0 || y < 0 || x >= _w || y >= _h)
		return false;
	UChar* p = &_rgba[(static_cast<size_t>(y) * static_cast<size_t>(_w) + static_cast<size_t>(x)) * 4];
	const Int32 c[3] = {r, g, b};
	for (int i = 0; i < 3; ++i)
		p[i] = static_cast<UChar>(c[i] < 0 ? 0 : c[i] > 255 ? 255 : c[i]);
	return true;
}

IMAGERESULT BaseBitmap::Save(const Filename& name, Int32 format) const
{
	if (format != FILTER_PNG || _w <= 0 || _h <= 0 || name.IsEmpty())
		return IMAGERESULT_WRONGTYPE;
	std::vector<UChar> rgb;
	try
	{
		rgb.resize(static_cast<size_t>(_w) * static_cast<size_t>(_h) * 3);
	}
	catch (...)
	{
		return IMAGERESULT_OUTOFMEMORY;
	}
	for (size_t i = 0, n = static_cast<size_t>(_w) * static_cast<size_t>(_h); i < n; ++i)
		for (size_t k = 0; k < 3; ++k)
			rgb[3 * i + k] = _rgba[4 * i + k];
	return headless::WritePngFile(name.Get(), _w, _h, rgb.data()) ? IMAGERESULT_OK : IMAGERESULT_NOTEXISTING;
}

// --- the host's own images

namespace
{

const char* const kHostImages[] = {"matrix", "vertex"};
constexpr Int32 kHostImageSize = 16;

// Draws a host image: "matrix" a frame with its axes, "vertex" a grid of points.
BaseBitmap* DrawHostImage(const std::string& name)
{
	const bool matrix = name == "matrix";
	if (!matrix && name != "vertex")
		return nullptr;
	BaseBitmap* bmp = BaseBitmap::Alloc();
	if (bmp->Init(kHostImageSize, kHostImageSize) != IMAGERESULT_OK)
	{
		BaseBitmap::Free(bmp);
		return nullptr;
	}
	for (Int32 y = 0; y < kHostImageSize; ++y)
		for (Int32 x = 0; x < kHostImageSize; ++x)
		{
			if (matrix && (x == 2 || y == kHostImageSize - 3))
				bmp->SetPixel(x, y, x == 2 ? 60 : 220, x == 2 ? 200 : 60, 60);
			else if (!matrix && x % 5 == 2 && y % 5 == 2)
				bmp->SetPixel(x, y, 240, 200, 40);
		}
	return bmp;
}

bool SamePixels(const BaseBitmap* a, const BaseBitmap* b)
{
	if (a->GetBw() != b->GetBw() || a->GetBh() != b->GetBh())
		return false;
	for (Int32 y = 0; y < a->GetBh(); ++y)
		for (Int32 x = 0; x < a->GetBw(); ++x)
		{
			UChar pa[4], pb[4];
			a->GetPixel(x, y, pa);
			b->GetPixel(x, y, pb);
			for (int i = 0; i < 4; ++i)
				if (pa[i] != pb[i])
					return false;
		}
	return true;
}

} // namespace

AutoBitmap::AutoBitmap(const String& name) : _bmp(DrawHostImage(name.Get())) {}

namespace headless
{

std::string HostImageName(const BaseBitmap* bmp)
{
	if (!bmp)
		return std::string();
	for (const char* name : kHostImages)
	{
		BaseBitmap* image = DrawHostImage(name);
		const bool same = image && SamePixels(bmp, image);
		BaseBitmap::Free(image);
		if (same)
			return name;
	}
	return std::string();
}

} // namespace headless
