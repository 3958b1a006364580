#pragma once
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

// Line and file helpers shared by the readers of every command. Lines are
// returned without their "\n"; one "\r" before the "\n" is dropped too.

// Reads the next line into buffer. capacity grows by its starting value
// whenever the line does not fit, as a fixed-size reader would have to.
bool readLine(std::string& buffer, int& capacity, FILE* stream);
// Reads the next line of any length; nothing at the end of the stream.
std::optional<std::string> readWholeLine(FILE* stream);
// Reads lines until one equals text (or, with prefix, begins with it).
bool jumpTo(FILE* stream, const char* text, bool prefix = false);
// Length of the stream in bytes; the position does not change. -1 on failure.
long fileSize(FILE* stream);
// Number of "\n" bytes, plus one when the last byte is not "\n"; -1 when the
// file cannot be opened or a read fails (errno set).
long long countLines(const char* fileName);
// As countLines, without the empty lines at the very end of the file, which
// are not data lines for any command.
long long countDataLines(const char* fileName);
// Appends every maximal run of non-delimiter characters to pieces.
void split(const std::string& text, std::vector<std::string>& pieces, const char* delimiters);
