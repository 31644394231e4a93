#include "ui/menus/folder_picker.h"

#include <shlobj.h>
#include <shobjidl.h>

#include "core/modal_scope.h"
#include "foundation/com_ptr.h"
#include "foundation/exceptions.h"
#include "foundation/string_buffer.h"
#include "foundation/wide_buffer.h"
#include "foundation/win32_text.h"
#include "foundation/windows_version.h"
#include "ui/framework/window_exception_boundary.h"

namespace {

// Frees a shell allocation (item-id list, display name) with its holder.
struct task_memory {
  void* block = nullptr;
  ~task_memory() { CoTaskMemFree(block); }
};

bool pick_with_file_dialog(HWND owner, const char* title, qiv::string_object& path) {
  modal_scope scope;
  scope.enter(owner);
  qiv::com_ptr<IFileOpenDialog> dialog;
  if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_ALL, IID_IFileOpenDialog,
                              dialog.receive_void())))
    qiv::throw_not_implemented();
  FILEOPENDIALOGOPTIONS options = 0;
  if (FAILED(dialog->GetOptions(&options)) ||
      FAILED(dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM)))
    return false;
  // After the options: some implementations give a folder picker a title of
  // its own when the mode changes.
  if (title != nullptr && FAILED(dialog->SetTitle(qiv::string_to_wide(title).get_ptr()))) return false;
  if (path.get_length() != 0) {
    // A folder that is gone leaves the dialog at its own default place.
    task_memory folder_ids;
    if (SUCCEEDED(SHParseDisplayName(qiv::string_to_wide(path.get_ptr()).get_ptr(), nullptr,
                                     reinterpret_cast<PIDLIST_ABSOLUTE*>(&folder_ids.block), 0, nullptr))) {
      qiv::com_ptr<IShellItem> folder;
      if (SUCCEEDED(SHCreateShellItem(nullptr, nullptr, static_cast<PCUITEMID_CHILD>(folder_ids.block),
                                      folder.receive())))
        dialog->SetFolder(folder.get());
    }
  }
  if (FAILED(dialog->Show(owner))) return false;
  qiv::com_ptr<IShellItem> chosen;
  if (FAILED(dialog->GetResult(chosen.receive()))) return false;
  task_memory name;
  if (FAILED(chosen->GetDisplayName(SIGDN_FILESYSPATH, reinterpret_cast<LPWSTR*>(&name.block))) ||
      name.block == nullptr)
    return false;
  wide_to_utf8(static_cast<const wchar_t*>(name.block), path);
  return true;
}

struct browse_start {
  const wchar_t* path;
  modal_scope* scope;
};

int CALLBACK browse_callback(HWND window, UINT message, LPARAM, LPARAM data) {
  if (message != BFFM_INITIALIZED) return 0;
  return guard_window_callback("folder browser", 0, [&] {
    auto* start = reinterpret_cast<browse_start*>(data);
    start->scope->enter(window);
    SendMessageW(window, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(start->path));
    return 0;
  });
}

bool pick_with_folder_browser(HWND owner, const char* title, qiv::string_object& path) {
  wchar_t buffer[MAX_PATH] = {};
  lstrcpynW(buffer, qiv::string_to_wide(path.get_ptr()).get_ptr(), MAX_PATH);
  IMalloc* shell_allocator = nullptr;
  if (FAILED(SHGetMalloc(&shell_allocator))) return false;
  qiv::com_ptr<IMalloc> allocator;
  *allocator.receive() = shell_allocator;
  const qiv::wide_buffer wide_title = qiv::string_to_wide(title != nullptr ? title : "");
  modal_scope scope;
  browse_start start = {buffer, &scope};
  BROWSEINFOW info = {};
  info.hwndOwner = owner;
  info.lpszTitle = title != nullptr ? wide_title.get_ptr() : nullptr;
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;
  info.lpfn = &browse_callback;
  info.lParam = reinterpret_cast<LPARAM>(&start);
  PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
  scope.leave();
  if (chosen == nullptr) return false;
  const BOOL found = SHGetPathFromIDListW(chosen, buffer);
  allocator->Free(chosen);
  if (!found) return false;
  wide_to_utf8(buffer, path);
  return true;
}

}  // namespace

bool pick_folder(HWND owner, const char* title, qiv::string_object& path) {
  try {
    if (is_windows_vista_or_later()) {
      try {
        return pick_with_file_dialog(owner, title, path);
      } catch (const qiv::exception_not_implemented&) {
        // No common file dialog here: the classic browser does the job.
      }
    }
    return pick_with_folder_browser(owner, title, path);
  } catch (...) {
    window_exception_boundary::report_current_exception("folder picker");
    return false;
  }
}
