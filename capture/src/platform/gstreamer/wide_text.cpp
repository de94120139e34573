#include "platform/gstreamer/wide_text.h"

namespace capture_platform::gstreamer {

std::wstring wide_from_utf8(const std::string& text) {
  constexpr wchar_t replacement = 0xFFFD;
  std::wstring wide;
  wide.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t extra = 0;
    char32_t code = lead;
    if ((lead & 0xE0) == 0xC0) {
      extra = 1;
      code = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
      extra = 2;
      code = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
      extra = 3;
      code = lead & 0x07;
    } else if (lead >= 0x80) {
      extra = text.size();  // a stray continuation byte or an invalid lead
    }
    bool valid = i + extra < text.size();
    for (std::size_t k = 1; valid && k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      valid = (next & 0xC0) == 0x80;
      code = (code << 6) | (next & 0x3F);
    }
    if (!valid) {
      wide.push_back(replacement);
      ++i;
      continue;
    }
    wide.push_back(static_cast<wchar_t>(code));
    i += extra + 1;
  }
  return wide;
}

}  // namespace capture_platform::gstreamer
