#include "core/font_record.h"

#include <cwchar>

namespace {

constexpr int menu_font_id = 803;  // TMT_MENUFONT

// uxtheme is looked up at run time: it is not among the libraries every
// layer links.
bool theme_menu_font(LOGFONTW& out) {
  HMODULE uxtheme = LoadLibraryW(L"uxtheme.dll");
  if (uxtheme == nullptr) return false;
  using get_theme_sys_font_function = HRESULT(WINAPI*)(HANDLE, int, LOGFONTW*);
  const auto get_theme_sys_font = reinterpret_cast<get_theme_sys_font_function>(
      reinterpret_cast<void*>(GetProcAddress(uxtheme, "GetThemeSysFont")));
  const bool found = get_theme_sys_font != nullptr && SUCCEEDED(get_theme_sys_font(nullptr, menu_font_id, &out));
  FreeLibrary(uxtheme);
  return found;
}

}  // namespace

font_record font_record_from_logfont(const LOGFONTW& font) {
  font_record record;
  std::wmemcpy(record.face_name, font.lfFaceName, LF_FACESIZE);
  record.face_name[LF_FACESIZE - 1] = L'\0';
  record.height = font.lfHeight;
  record.weight = font.lfWeight;
  record.italic = font.lfItalic;
  record.underline = font.lfUnderline;
  record.strike_out = font.lfStrikeOut;
  record.char_set = font.lfCharSet;
  return record;
}

font_record default_menu_font_record() {
  LOGFONTW font = {};
  if (!theme_menu_font(font)) {
    font = LOGFONTW{};
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(font), &font);
  }
  return font_record_from_logfont(font);
}
