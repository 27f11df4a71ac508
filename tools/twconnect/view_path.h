// view_path.h - the picture file of each frame that twconnect view writes.
#pragma once

#include <string>

// The file names of a picture sequence. PATH either holds one integer conversion in the manner of
// printf (%d or %i with flags "-+ 0", a width and a precision of at most two digits each; "%%" is a
// percent sign) which the frame number fills, or none, and then the frame number goes before the
// extension as _NNNN.
class PicturePath
{
public:
	// False, with the reason, when PATH holds a '%' that is not such a conversion or more than one.
	bool Parse(const std::string& path, std::string* error);
	bool HasConversion() const { return _conversion; }
	// The path of one frame; numbered: whether the frame goes into the name at all.
	std::string For(long long frame, bool numbered) const;

private:
	std::string _path;
	// the path with "%%" read as '%', for a name without a conversion
	std::string _literal;
	// the path as a format for one long long, '%' doubled outside the conversion
	std::string _format;
	bool _conversion = false;
};
