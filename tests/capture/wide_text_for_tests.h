// ASCII text as the capture interface's wide strings.
#pragma once

#include <string>

inline std::wstring wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }
