// frame_sequence.cpp - frame tokens, patterns, range scans and environment references in paths.
#include "frame_sequence.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

static const size_t MAX_CHARS = SEQUENCE_PATH_SIZE - 1;

static int FindTokenIn(const char* s)
{
	for (int i = 0; s[i] != '\0'; ++i)
		if (s[i] == '$' && s[i + 1] == 'F' && s[i + 2] >= '0' && s[i + 2] <= '9')
			return i;
	return -1;
}

// Copies src into a 256-byte buffer; an over-long src gives an empty string.
static bool CopyWhole(char* out, const char* src)
{
	size_t n = src ? std::strlen(src) : 0;
	if (n > MAX_CHARS)
	{
		out[0] = '\0';
		return false;
	}
	if (n)
		std::memmove(out, src, n);
	out[n] = '\0';
	return true;
}

// The pattern of a name: the last (up to five) digits before the extension become the token.
static void DeriveFrom(const char* name, char* out)
{
	char result[SEQUENCE_PATH_SIZE];
	const size_t len = std::strlen(name);
	// A name that already is a pattern stays one, also with its token at the very start ("$F4.bin"
	// from "0007.bin"): derived again it would become "$F$F1.bin".
	if (FindTokenIn(name) >= 0)
	{
		CopyWhole(out, name);
		return;
	}
	const char* dot = std::strrchr(name, '.');
	size_t insert_at = 0, digits = 0;
	if (dot && dot != name)
	{
		insert_at = static_cast<size_t>(dot - name);
		while (digits < 5 && insert_at > 0 && name[insert_at - 1] >= '0' && name[insert_at - 1] <= '9')
		{
			--insert_at;
			++digits;
		}
	}
	if (len - digits + 3 > MAX_CHARS)
	{
		out[0] = '\0';
		return;
	}
	std::memcpy(result, name, insert_at);
	result[insert_at] = '$';
	result[insert_at + 1] = 'F';
	result[insert_at + 2] = static_cast<char>('0' + digits);
	std::strcpy(result + insert_at + 3, name + insert_at + digits);
	std::strcpy(out, result);
}

FrameSequence::FrameSequence()
{
	Clear();
}

FrameSequence::~FrameSequence() = default;

void FrameSequence::Clear()
{
	format = 0;
	name[0] = '\0';
	pattern[0] = '\0';
	first = 0;
	last = 0;
}

void FrameSequence::SetName(const char* new_name, bool scan, bool derive)
{
	char copy[SEQUENCE_PATH_SIZE];
	if (!new_name || !new_name[0] || !CopyWhole(copy, new_name))
	{
		Clear();
		return;
	}
	std::strcpy(name, copy);
	std::strcpy(pattern, copy);
	if (derive)
		DerivePattern();
	if (scan)
		ScanRange();
}

bool FrameSequence::SamePattern(const char* other) const
{
	if (!other)
		other = "";
	if (name[0] == '\0' && other[0] != '\0')
		return false;
	char mine[SEQUENCE_PATH_SIZE], theirs[SEQUENCE_PATH_SIZE];
	if (std::strlen(other) > MAX_CHARS)
		return false;
	DeriveFrom(other, theirs);
	DeriveFrom(pattern, mine);
	return std::strcmp(mine, theirs) == 0;
}

int FrameSequence::FindToken() const
{
	return FindTokenIn(pattern);
}

void FrameSequence::FormatPattern(int32_t frame, int32_t offset, char* out) const
{
	const int token = FindToken();
	if (token < 0)
	{
		CopyWhole(out, pattern);
		return;
	}
	const int digits = pattern[token + 2] - '0';
	char number[32] = "";
	if (digits > 0)
	{
		char format_text[16];
		std::snprintf(format_text, sizeof(format_text), "%%0%d" PRId64, digits);
		std::snprintf(number, sizeof(number), format_text, static_cast<int64_t>(frame) - offset);
	}
	const char* rest = pattern + token + 3;
	size_t total = static_cast<size_t>(token) + std::strlen(number) + std::strlen(rest);
	if (total > MAX_CHARS)
	{
		out[0] = '\0';
		return;
	}
	char result[SEQUENCE_PATH_SIZE];
	std::memcpy(result, pattern, static_cast<size_t>(token));
	std::strcpy(result + token, number);
	std::strcat(result, rest);
	std::strcpy(out, result);
}

void FrameSequence::DerivePattern()
{
	DeriveFrom(name, pattern);
}

void FrameSequence::FormatAndExpand(int32_t frame, int32_t offset, char* out) const
{
	char formatted[SEQUENCE_PATH_SIZE];
	FormatPattern(frame, offset, formatted);
	if (!ExpandEnvironment(formatted, out))
		out[0] = '\0';
}

void FrameSequence::GetFileName(int32_t frame, int32_t offset, char* out)
{
	FormatAndExpand(frame, offset, out);
}

bool FrameSequence::FileExists(const char* path)
{
	if (!path || !path[0])
		return false;
	FILE* f = std::fopen(path, "rb");
	if (!f)
		return false;
	std::fclose(f);
	return true;
}

int32_t FrameSequence::ScanRange()
{
	first = 0;
	last = 100000;
	const int token = FindToken();
	if (token < 0)
		return -1;
	const int digits = pattern[token + 2] - '0';
	const int name_len = static_cast<int>(std::strlen(name));
	int32_t start = 0;
	if (token >= name_len || name[token] != '$')
	{
		for (int k = 0; k < digits; ++k)
		{
			int at = token + k;
			char c = at < name_len ? name[at] : '\0';
			start = start * 10 + (c >= '0' && c <= '9' ? c - '0' : 0);
		}
	}
	char path[SEQUENCE_PATH_SIZE];
	if (digits == 0)
	{
		// every frame names the same file: one test decides the whole range
		first = start;
		GetFileName(start + 1, 0, path);
		last = FileExists(path) ? SEQUENCE_FRAME_LIMIT - 1 : start;
		return last;
	}
	int32_t f = start - 1;
	for (; f >= 0; --f)
	{
		GetFileName(f, 0, path);
		if (!FileExists(path))
			break;
	}
	first = f + 1 < start ? f + 1 : start;
	f = start + 1;
	for (; f < SEQUENCE_FRAME_LIMIT; ++f)
	{
		GetFileName(f, 0, path);
		if (!FileExists(path))
			break;
	}
	last = f - 1;
	return last;
}

void FrameSequence::GetBaseName(char* out) const
{
	out[0] = '\0';
	// A name without a folder (a file in the current one) starts its base name at its first character.
	const char* start = name;
	for (const char* p = name; *p; ++p)
		if (*p == '/' || *p == '\\')
			start = p + 1;
	const char* dot = std::strrchr(start, '.');
	if (!dot)
		return;
	const size_t begin = static_cast<size_t>(start - name);
	size_t end = static_cast<size_t>(dot - name);
	const int token = FindToken();
	if (token >= 0 && static_cast<size_t>(token) >= begin && static_cast<size_t>(token) <= std::strlen(name))
		end = static_cast<size_t>(token);
	if (end < begin)
		end = begin;
	std::memcpy(out, name + begin, end - begin);
	out[end - begin] = '\0';
}

bool ExpandEnvironment(const char* in, char* out)
{
	size_t o = 0;
	bool fits = true;
	auto put = [&](const char* s, size_t n) {
		if (o + n > MAX_CHARS)
		{
			fits = false;
			return;
		}
		std::memcpy(out + o, s, n);
		o += n;
	};
	size_t i = 0;
	while (in && in[i] != '\0' && fits)
	{
		if (in[i] == '$' && in[i + 1] == '(' && in[i + 2] != '\0')
		{
			const char* close = std::strchr(in + i + 2, ')');
			if (!close)
			{
				put(in + i, std::strlen(in + i));
				break;
			}
			size_t var_len = static_cast<size_t>(close - (in + i + 2));
			char var[SEQUENCE_PATH_SIZE];
			if (var_len > MAX_CHARS)
			{
				fits = false;
				break;
			}
			std::memcpy(var, in + i + 2, var_len);
			var[var_len] = '\0';
			const char* value = std::getenv(var);
			if (value)
				put(value, std::strlen(value));
			i = static_cast<size_t>(close - in) + 1;
		}
		else
		{
			put(in + i, 1);
			++i;
		}
	}
	if (!fits)
	{
		out[0] = '\0';
		return false;
	}
	out[o] = '\0';
	return true;
}

bool HasExtension(const char* path, const char* extension)
{
	if (!path || !extension)
		return false;
	size_t n = std::strlen(path), e = std::strlen(extension);
	if (n < e)
		return false;
	const char* tail = path + n - e;
	for (size_t k = 0; k < e; ++k)
	{
		char c = tail[k];
		if (c >= 'A' && c <= 'Z')
			c = static_cast<char>(c - 'A' + 'a');
		if (c != extension[k])
			return false;
	}
	return true;
}

bool ExpandPath(const char* file_name, char* out)
{
	out[0] = '\0';
	if (!file_name)
		return true;
	if (std::strlen(file_name) > MAX_CHARS)
		return false;
	return ExpandEnvironment(file_name, out);
}
