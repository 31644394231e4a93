#include "library/known_folder_paths.h"

#include <shlobj.h>
#include <shobjidl.h>

#include "foundation/com_ptr.h"
#include "foundation/guid_equal.h"
#include "foundation/string_buffer.h"
#include "foundation/win32_text.h"

namespace {

std::string utf8(const wchar_t* text) {
  qiv::string_buffer out;
  wide_to_utf8(text, out);
  return std::string(out.get_ptr(), out.get_length());
}

// Asks the shell library object; COM must be usable on this thread.
std::vector<std::string> library_folders(const GUID& folder) {
  std::vector<std::string> paths;
  qiv::com_ptr<IShellLibrary> library;
  if (FAILED(CoCreateInstance(CLSID_ShellLibrary, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLibrary,
                              reinterpret_cast<void**>(library.receive()))))
    return paths;
  if (FAILED(library->LoadLibraryFromKnownFolder(folder, STGM_READ))) return paths;
  qiv::com_ptr<IShellItemArray> items;
  if (FAILED(library->GetFolders(LFF_FORCEFILESYSTEM, IID_IShellItemArray, reinterpret_cast<void**>(items.receive()))))
    return paths;
  DWORD count = 0;
  if (FAILED(items->GetCount(&count))) return paths;
  for (DWORD i = 0; i < count; ++i) {
    qiv::com_ptr<IShellItem> item;
    if (FAILED(items->GetItemAt(i, item.receive()))) continue;
    wchar_t* path = nullptr;
    if (SUCCEEDED(item->GetDisplayName(SIGDN_FILESYSPATH, &path)) && path != nullptr) {
      paths.push_back(utf8(path));
      CoTaskMemFree(path);
    }
  }
  return paths;
}

}  // namespace

std::vector<std::string> known_folder_paths(const GUID& folder) {
  std::vector<std::string> paths = library_folders(folder);
  if (!paths.empty()) return paths;
  // Without shell libraries (Windows XP, Wine) the four known folders that
  // have a classic folder give that one folder, on every Windows version.
  static const struct {
    GUID folder;
    int csidl;
  } classic_folders[] = {
      {known_folder::music, CSIDL_MYMUSIC},
      {known_folder::pictures, CSIDL_MYPICTURES},
      {known_folder::videos, CSIDL_MYVIDEO},
      {known_folder::documents, CSIDL_PERSONAL},
  };
  for (const auto& classic : classic_folders) {
    if (!qiv::guid_equal(folder, classic.folder)) continue;
    wchar_t path[MAX_PATH] = {};
    if (SUCCEEDED(SHGetFolderPathW(nullptr, classic.csidl, nullptr, 0, path)) && path[0] != L'\0')
      paths.push_back(utf8(path));
  }
  return paths;
}
