// UTF-8 to and from the wide strings of the capture interface (UTF-32 on
// Linux), for command lines and printed device lists.
#pragma once

#include <string>

std::wstring wide_from_utf8(const std::string& text);
// Stops at the first NUL: the device list ends each string with two.
std::string utf8_from_wide(const std::wstring& text);
