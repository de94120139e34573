#include "wide_text.h"

std::wstring wide_from_utf8(const std::string& text) {
  std::wstring wide;
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    const int extra = lead < 0x80 ? 0 : (lead >> 5) == 0x6 ? 1 : (lead >> 4) == 0xe ? 2 : (lead >> 3) == 0x1e ? 3 : -1;
    const bool truncated = extra > 0 && i + extra >= text.size();
    if (extra < 0 || truncated) {
      wide.push_back(0xfffd);  // not UTF-8: a replacement character
      ++i;
      continue;
    }
    char32_t code = extra == 0 ? lead : lead & (0x3f >> extra);
    for (int k = 1; k <= extra; ++k) code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3f);
    wide.push_back(static_cast<wchar_t>(code));
    i += extra + 1;
  }
  return wide;
}

std::string utf8_from_wide(const std::wstring& text) {
  std::string out;
  for (wchar_t w : text) {
    const auto c = static_cast<char32_t>(w);
    if (c == 0) break;
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xc0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3f)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xe0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3f)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3f)));
    } else {
      out.push_back(static_cast<char>(0xf0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3f)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3f)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3f)));
    }
  }
  return out;
}
