#include "foundation/code_page_text.h"

#include <windows.h>

namespace qiv {

namespace {

std::wstring to_wide(const char* bytes, std::size_t length, unsigned code_page) {
  if (length == 0) return {};
  const int count = MultiByteToWideChar(code_page, 0, bytes, int(length), nullptr, 0);
  if (count <= 0) return {};
  std::wstring out(std::size_t(count), L'\0');
  MultiByteToWideChar(code_page, 0, bytes, int(length), out.data(), count);
  return out;
}

std::string from_wide(const wchar_t* units, std::size_t count, unsigned code_page) {
  if (count == 0) return {};
  const int size = WideCharToMultiByte(code_page, 0, units, int(count), nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string out(std::size_t(size), '\0');
  WideCharToMultiByte(code_page, 0, units, int(count), out.data(), size, nullptr, nullptr);
  return out;
}

}  // namespace

std::string utf8_to_code_page(const char* text, std::size_t length, unsigned code_page) {
  const std::wstring wide = to_wide(text, length, CP_UTF8);
  return from_wide(wide.data(), wide.size(), code_page);
}

std::string code_page_to_utf8(const char* bytes, std::size_t length, unsigned code_page) {
  const std::wstring wide = to_wide(bytes, length, code_page);
  return from_wide(wide.data(), wide.size(), CP_UTF8);
}

std::string utf16_to_utf8(const wchar_t* units, std::size_t count) { return from_wide(units, count, CP_UTF8); }

void append_utf16_as_utf8(std::string& out, const wchar_t* units, std::size_t count) {
  // Plain ASCII is the same byte for byte; the system converts from the first
  // other unit on, which cannot be the second half of a pair split off.
  std::size_t ascii = 0;
  while (ascii < count && units[ascii] < 0x80) ++ascii;
  const std::size_t start = out.size();
  out.resize(start + ascii);
  for (std::size_t i = 0; i < ascii; ++i) out[start + i] = static_cast<char>(units[i]);
  if (ascii == count) return;
  const int rest = int(count - ascii);
  const int size = WideCharToMultiByte(CP_UTF8, 0, units + ascii, rest, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return;
  out.resize(start + ascii + std::size_t(size));
  WideCharToMultiByte(CP_UTF8, 0, units + ascii, rest, out.data() + start + ascii, size, nullptr, nullptr);
}

std::wstring utf8_to_utf16(const char* text, std::size_t length) { return to_wide(text, length, CP_UTF8); }

}  // namespace qiv
