#pragma once
#include <cstdint>

// Option values are decimal only: optional sign, digits, optional fraction,
// optional exponent, read from the start of the text; trailing characters are
// ignored. Anything else ("nan", "inf", hexadecimal, leading blanks) reads as
// 0. A value beyond the double range reads as the largest finite double of
// its sign, so no value is ever infinite or not a number.
double parseDecimalDouble(const char* text);
// Optional sign and digits from the start of the text, else 0; clamped to
// the int range.
int parseDecimalInt(const char* text);
// Optional "+" and digits from the start of the text, else 0; clamped to
// 0..4294967295 (a negative value reads as 0).
uint32_t parseDecimalUnsigned(const char* text);
// Positional arguments of the small programs must be numbers as a whole:
// an integer (optional sign and digits, within int) or a finite decimal
// (as parseDecimalDouble, with nothing after it). False leaves value as is.
bool parseWholeInt(const char* text, int& value);
bool parseWholeDecimal(const char* text, double& value);
// Length of the longest decimal-number prefix of text (0 when none).
int decimalPrefixLength(const char* text);
