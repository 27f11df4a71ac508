// png_support.h - a written PNG read back for tests that check its pixels.
#pragma once

#include "picture_support.h"

#include <gtest/gtest.h>
#include <png.h>

#include <string>
#include <utility>
#include <vector>

struct Picture
{
	int width = 0, height = 0;
	std::vector<unsigned char> rgb;
	Rgb At(int x, int y) const
	{
		const size_t i = 3 * (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x));
		return {rgb[i], rgb[i + 1], rgb[i + 2]};
	}
	// The pixels that are not background, column by column from the left.
	std::vector<std::pair<int, Rgb>> Lit(const Rgb& background) const
	{
		std::vector<std::pair<int, Rgb>> lit;
		for (int x = 0; x < width; ++x)
			for (int y = 0; y < height; ++y)
				if (!(At(x, y) == background))
					lit.push_back({x, At(x, y)});
		return lit;
	}
};

inline Picture ReadPng(const std::string& path)
{
	Picture p;
	png_image image{};
	image.version = PNG_IMAGE_VERSION;
	if (!png_image_begin_read_from_file(&image, path.c_str()))
	{
		ADD_FAILURE() << "cannot read " << path << ": " << image.message;
		return p;
	}
	image.format = PNG_FORMAT_RGB;
	p.rgb.resize(PNG_IMAGE_SIZE(image));
	if (!png_image_finish_read(&image, nullptr, p.rgb.data(), 0, nullptr))
	{
		ADD_FAILURE() << "cannot read " << path << ": " << image.message;
		return Picture();
	}
	p.width = static_cast<int>(image.width);
	p.height = static_cast<int>(image.height);
	return p;
}
