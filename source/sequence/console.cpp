// console.cpp - formatted console lines and message boxes.
#include "console.h"

#include "c4d_general.h"

#include <cstdio>

void FormatText(char* out, const char* format, va_list args)
{
	int n = std::vsnprintf(out, TW_TEXT_SIZE, format, args);
	if (n < 0)
	{
		out[0] = '\0';
		return;
	}
	if (n < TW_TEXT_SIZE)
		return;
	// Cut: drop a multi-byte character that lost its tail, so the host never gets broken text.
	int end = TW_TEXT_SIZE - 1;
	int lead = end;
	while (lead > 0 && (static_cast<unsigned char>(out[lead - 1]) & 0xC0) == 0x80 && end - lead < 3)
		--lead;
	if (lead > 0)
	{
		unsigned char c = static_cast<unsigned char>(out[lead - 1]);
		int need = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
		if (need > 1 && end - (lead - 1) < need)
			end = lead - 1;
	}
	out[end] = '\0';
}

void PrintConsole(const char* format, ...)
{
	char text[TW_TEXT_SIZE];
	va_list args;
	va_start(args, format);
	FormatText(text, format, args);
	va_end(args);
	GePrint(String(text));
}

void ShowMessage(const char* format, ...)
{
	char text[TW_TEXT_SIZE];
	va_list args;
	va_start(args, format);
	FormatText(text, format, args);
	va_end(args);
	GeOutString(String(text), GEMB_ICONEXCLAMATION);
}
