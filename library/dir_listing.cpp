#include "library/dir_listing.h"

#include "foundation/win32_error.h"

void dir_listing(const std::wstring& folder, const std::function<void(const WIN32_FIND_DATAW& entry)>& visit) {
  WIN32_FIND_DATAW data;
  const HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return;
    throw exception_win32(error);
  }
  struct closer {
    HANDLE find;
    ~closer() { FindClose(find); }
  } close_at_end{find};
  do {
    if (data.cFileName[0] == L'.' || data.cFileName[0] == 0 || (data.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN)) continue;
    visit(data);
  } while (FindNextFileW(find, &data));
}
