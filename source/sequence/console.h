// console.h - formatted console lines and modal message boxes for the user.
#pragma once

#include <cstdarg>

// Texts are formatted into a buffer of this size; longer texts are cut to fit.
constexpr int TW_TEXT_SIZE = 1024;

// One line on the host console.
void PrintConsole(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A modal message box with the host's exclamation icon: for the user's mistakes.
void ShowMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Formats into out (TW_TEXT_SIZE bytes); a text that does not fit is cut at a character boundary.
void FormatText(char* out, const char* format, va_list args);
