// The tools' command line and console as the user typed and reads them: the arguments as
// UTF-8 (on Windows from the wide command line, not the ANSI code page), UTF-8 on a Windows
// console, and files named in UTF-8 opened under their real names.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

// Every argument, the program's name first.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Makes a Windows console show UTF-8 output as text; nothing elsewhere.
void UseUtf8Console();

// A path from UTF-8 text.
std::filesystem::path PathFromUtf8(const std::string& path);

// All of standard input, byte for byte (on Windows in binary mode, so that no byte ends it).
std::string ReadStandardInput();

// The text of a file's bytes: UTF-16 (little or big endian) after its byte-order mark, else
// UTF-8, without its byte-order mark when it has one.
std::u16string TextOfFile(const std::string& bytes);
