#include "library/folder_picture.h"

#include <windows.h>

#include <set>

#include "library/nav_types.h"

int picture_file_rank(std::wstring_view name) {
  for (int i = 0; i < picture_file_name_count; ++i) {
    const std::wstring_view candidate = picture_file_names[i];
    if (candidate.size() != name.size()) continue;
    bool equal = true;
    for (std::size_t k = 0; k < name.size() && equal; ++k) {
      const wchar_t a = name[k] >= L'A' && name[k] <= L'Z' ? name[k] + 32 : name[k];
      equal = a == candidate[k];
    }
    if (equal) return i;
  }
  return -1;
}

bool folder_picture_find(const track_handle_list& tracks, std::wstring& out) {
  std::set<std::string> tried;
  for (const track_handle_ptr& track : tracks) {
    const std::string path = track->get_location().get_path();
    const std::size_t cut = path.find_last_of("\\/|:");
    const std::string folder = cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
    if (!tried.insert(folder).second || folder.rfind("file://", 0) != 0) continue;
    const std::wstring native = nav_wide(folder.substr(7));
    for (const wchar_t* name : picture_file_names) {
      const std::wstring candidate = native + name;
      const DWORD attributes = GetFileAttributesW(candidate.c_str());
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        out = candidate;
        return true;
      }
    }
  }
  return false;
}
