// frame_sequence.h - numbered cache sequences: from one chosen file to the path of any frame.
//
// A pattern holds at most one frame token: "$F" and one digit d, the number of digits the frame
// number is padded to (d = 0: the same file for every frame). Every string lives in a 256-byte
// buffer; a name or result that would not fit 255 characters gives an empty string, never a cut
// one that could name another file.
#pragma once

#include <cstdint>

constexpr int SEQUENCE_PATH_SIZE = 256;
// Upward probing stops below this frame.
constexpr int32_t SEQUENCE_FRAME_LIMIT = 10000000;

class FrameSequence
{
public:
	FrameSequence();
	virtual ~FrameSequence();

	// Stores a new name (empty or nullptr clears). derive builds the pattern from it; scan then
	// finds the range of existing frames.
	void SetName(const char* name, bool scan, bool derive);
	// True when name belongs to the same sequence as this one's pattern.
	bool SamePattern(const char* name) const;
	// Index of the frame token in the pattern, or -1.
	int FindToken() const;
	// The pattern with its token replaced for frame - offset.
	void FormatPattern(int32_t frame, int32_t offset, char* out) const;
	void DerivePattern();
	// Sets first and last from the frame files that exist; returns last, or -1 without a token.
	virtual int32_t ScanRange();
	// Path of the file of a frame (out: 256 bytes). Derived sequences resolve it further.
	virtual void GetFileName(int32_t frame, int32_t offset, char* out);
	// Base name of the sequence (file name up to the frame digits), to label what is imported.
	void GetBaseName(char* out) const;

	int32_t format;
	char name[SEQUENCE_PATH_SIZE];
	char pattern[SEQUENCE_PATH_SIZE];
	int32_t first;
	int32_t last;

protected:
	// Existence test of the range scan: whether path can be opened for reading.
	virtual bool FileExists(const char* path);
	// The host-free part of GetFileName: format the pattern and expand environment references.
	void FormatAndExpand(int32_t frame, int32_t offset, char* out) const;
	void Clear();
};

// Replaces each $(NAME) by the environment variable NAME (nothing when unset). Returns false and
// leaves out empty when the result would not fit 255 characters. in and out may not overlap.
bool ExpandEnvironment(const char* in, char* out);

// True when path, with A-Z in lower case, ends with extension exactly.
bool HasExtension(const char* path, const char* extension);

// A host file name already converted to an 8-bit string, expanded into out. False, with out empty,
// when the name or its expansion would not fit 255 characters.
bool ExpandPath(const char* file_name, char* out);
