#include "Files.h"

namespace mkinstaller {

std::string Named(const std::string& role, const std::string& path) { return role + " '" + path + "'"; }

std::string OneLine(const std::string& text) {
  // A terminal acts on C0 and C1 controls alike, and on stray bytes that
  // its own character set reads as C1 controls: only whole UTF-8 characters
  // from U+00A0 up stay, besides printable ASCII.
  std::string line;
  const auto byte = [&](std::size_t i) { return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u; };
  for (std::size_t i = 0; i < text.size();) {
    const unsigned lead = byte(i);
    if (lead < 0x80) {
      line.push_back(lead < 0x20 || lead == 0x7F ? '?' : static_cast<char>(lead));
      ++i;
      continue;
    }
    const std::size_t length = lead >= 0xF0 && lead < 0xF5 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    std::uint32_t code = length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
    bool whole = length != 0 && lead < 0xF5;
    for (std::size_t k = 1; whole && k < length; ++k) {
      whole = (byte(i + k) & 0xC0) == 0x80;
      code = code << 6 | (byte(i + k) & 0x3F);
    }
    const std::uint32_t least = length == 2 ? 0xA0 : length == 3 ? 0x800 : 0x10000;
    if (whole && code >= least && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF)) {
      line.append(text, i, length);
      i += length;
    } else {
      line.push_back('?');
      ++i;
    }
  }
  return line;
}

std::vector<std::uint8_t> TInputFile::ReadAll(std::uint64_t limit) {
  std::vector<std::uint8_t> data;
  std::uint8_t block[64 * 1024];
  while (const std::size_t n = Read(block, sizeof block)) {
    if (data.size() + n > limit)
      throw EFailure(FName + " is too large (more than " + std::to_string(limit) + " bytes)");
    data.insert(data.end(), block, block + n);
  }
  return data;
}

}  // namespace mkinstaller
