// c4d_bitmap.h - bitmaps loaded from image files (icons, textures).
#pragma once

#include "ge_types.h"

#include <vector>

// Image file formats of BaseBitmap::Save.
enum
{
	FILTER_PNG = 1023671,
};

enum IMAGERESULT : Int32
{
	IMAGERESULT_OK = 1,
	IMAGERESULT_NOTEXISTING = -1,
	IMAGERESULT_WRONGTYPE = 2,
	IMAGERESULT_OUTOFMEMORY = 3,
};

class BaseBitmap
{
public:
	static BaseBitmap* Alloc();
	static void Free(BaseBitmap*& bmp);

	// Decodes the image file; IMAGERESULT_OK only when the whole image was read.
	IMAGERESULT Init(const Filename& name);
	// An empty (black, opaque) image of this size; depth is 24 or 32 bits.
	IMAGERESULT Init(Int32 x, Int32 y, Int32 depth = 24);
	Bool SetPixel(Int32 x, Int32 y, Int32 r, Int32 g, Int32 b);
	Int32 GetBw() const { return _w; }
	Int32 GetBh() const { return _h; }
	// RGBA pixel, 8 bits per channel.
	void GetPixel(Int32 x, Int32 y, UChar* rgba) const;
	BaseBitmap* GetClone() const;
	// Writes the image as an 8-bit RGB file of this format (FILTER_PNG), whole or not at all: a file
	// that could not be written completely is removed.
	IMAGERESULT Save(const Filename& name, Int32 format) const;

private:
	BaseBitmap() = default;
	Int32 _w = 0, _h = 0;
	std::vector<UChar> _rgba;
};

// An image of the host's own resources, loaded by name ("matrix", "vertex"); null when the host has
// none of that name. Owns the bitmap.
class AutoBitmap
{
public:
	explicit AutoBitmap(const String& name);
	~AutoBitmap() { BaseBitmap::Free(_bmp); }
	AutoBitmap(const AutoBitmap&) = delete;
	AutoBitmap& operator=(const AutoBitmap&) = delete;
	operator BaseBitmap*() const { return _bmp; }

private:
	BaseBitmap* _bmp = nullptr;
};
