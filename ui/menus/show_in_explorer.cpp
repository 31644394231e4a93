#include "ui/menus/show_in_explorer.h"

#include <shellapi.h>

#include <memory>

#include "core/app_state.h"
#include "foundation/case_folding.h"
#include "foundation/com_ptr.h"
#include "foundation/string_small.h"
#include "foundation/win32_error.h"
#include "io/path_schemes.h"
#include "ui/menus/information_popup.h"

namespace {

void open_folder_through_shell(HWND owner, const wchar_t* folder) {
  ShellExecuteW(owner, nullptr, folder, nullptr, nullptr, SW_SHOW);
}

constexpr explorer_shell_calls shell_calls = {&SHOpenFolderAndSelectItems, &open_folder_through_shell};
const explorer_shell_calls* current_calls = &shell_calls;

struct item_id_free {
  void operator()(ITEMIDLIST* list) const noexcept { CoTaskMemFree(list); }
};
using item_id_ptr = std::unique_ptr<ITEMIDLIST, item_id_free>;

void check(HRESULT result) {
  if (FAILED(result)) throw exception_com(static_cast<std::uint32_t>(result));
}

item_id_ptr parse_name(IShellFolder& folder, const std::wstring& name) {
  ITEMIDLIST* parsed = nullptr;
  check(folder.ParseDisplayName(nullptr, nullptr, const_cast<wchar_t*>(name.c_str()), nullptr, &parsed, nullptr));
  return item_id_ptr(parsed);
}

bool is_separator(char c) { return c == '\\' || c == '/' || c == '|' || c == ':'; }

// The length of the folder part: up to and including the last separator.
std::size_t folder_length(const std::string& path) {
  for (std::size_t i = path.size(); i > 0; --i)
    if (is_separator(path[i - 1])) return i;
  return 0;
}

}  // namespace

void set_explorer_shell_calls(const explorer_shell_calls* calls) {
  current_calls = calls != nullptr ? calls : &shell_calls;
}

void shell_show_in_explorer(const std::wstring& folder, const std::vector<std::wstring>& names) {
  qiv::com_ptr<IShellFolder> desktop;
  check(SHGetDesktopFolder(desktop.receive()));
  const item_id_ptr folder_id = parse_name(*desktop.get(), folder);
  qiv::com_ptr<IShellFolder> shell_folder;
  check(desktop->BindToObject(folder_id.get(), nullptr, IID_IShellFolder, shell_folder.receive_void()));

  std::vector<item_id_ptr> children;
  std::vector<PCUITEMID_CHILD> child_ids;
  for (const std::wstring& name : names) {
    children.push_back(parse_name(*shell_folder.get(), name));
    child_ids.push_back(children.back().get());
  }
  const HRESULT opened = current_calls->open_folder_and_select(
      folder_id.get(), static_cast<UINT>(child_ids.size()), child_ids.empty() ? nullptr : child_ids.data(), 0);
  // A cancel is the user's answer; anything else still deserves a window.
  if (FAILED(opened) && opened != E_ABORT && ui_interaction_allowed())
    current_calls->open_folder(app::state().ui_main_window, folder.c_str());
}

bool tracks_common_native_folder(const std::vector<std::string>& paths, std::string& folder) {
  if (paths.empty()) return false;
  qiv::string_small native;
  if (!vantrel_io::file_url_to_native(paths.front().c_str(), native)) return false;
  const std::string first = native.get_ptr();
  const std::string reference = first.substr(0, folder_length(first));
  for (std::size_t i = 1; i < paths.size(); ++i) {
    if (!vantrel_io::file_url_to_native(paths[i].c_str(), native)) return false;
    const std::string path = native.get_ptr();
    if (path == first) continue;
    // Windows folders differ by more than letter case or not at all.
    if (qiv::compare_nocase(path.substr(0, folder_length(path)).c_str(), reference.c_str()) != 0) return false;
  }
  folder = reference;
  return true;
}
