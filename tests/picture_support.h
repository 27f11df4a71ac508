// picture_support.h - pixels as tests compare them: 8-bit colours of a headless view or a written picture.
#pragma once

#include "headless.h"

#include <ostream>

struct Rgb
{
	int r, g, b;
	bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
	bool operator!=(const Rgb& o) const { return !(*this == o); }
};

inline std::ostream& operator<<(std::ostream& os, const Rgb& c)
{
	return os << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

// The pixel of a view; black outside the image.
inline Rgb PixelOf(const headless::View& v, Int32 x, Int32 y)
{
	UChar c[3] = {};
	v.Pixel(x, y, c);
	return {c[0], c[1], c[2]};
}

// What a view shows where nothing was drawn.
inline Rgb ViewBackground()
{
	UChar c[3];
	headless::View::Background(c);
	return {c[0], c[1], c[2]};
}
