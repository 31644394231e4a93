#include "io/retag_leftover_listing.h"

#include <windows.h>

#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "foundation/slim_lock.h"

namespace vantrel_io {

namespace {

struct listed_folder {
  // The folder's last-write time when a listing found no leftover in it; 0
  // when it found some (a rewrite's live temporary file, perhaps).
  ULONGLONG clean_at = 0;
  ULONGLONG listed_at_ms = 0;
};

struct clean_folders {
  qiv::slim_mutex lock;
  std::map<std::wstring, listed_folder> listed;
};

clean_folders& known_clean() {
  static clean_folders folders;
  return folders;
}

// Enough for the folders of one update; past it the answers are asked again.
constexpr std::size_t most_folders = 256;
// A folder that files are being rewritten in changes with every file: it is
// listed again only this long after its last listing, and meanwhile its
// files' names are looked up when a rewrite needs to know (as costly as a
// listing under Wine, but without its server requests).
constexpr ULONGLONG relist_after_ms = 2000;

bool last_write_time(const std::wstring& folder, ULONGLONG& out) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(folder.c_str(), GetFileExInfoStandard, &data) ||
      !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return false;
  out = (ULONGLONG(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
  return out != 0;
}

struct listing {
  bool any = false;
  bool named = false;
};

// The folder's "temp-*.tmp" files: whether there are any, and whether `name`
// is among them. A listing that fails counts as finding it.
listing list_leftovers(const std::wstring& folder, const wchar_t* name) {
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileExW((folder + L"temp-*.tmp").c_str(), FindExInfoBasic, &found,
                                         FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) {
    if (GetLastError() == ERROR_FILE_NOT_FOUND) return {};
    return {true, true};
  }
  listing result{true, false};
  do
    if (CompareStringOrdinal(found.cFileName, -1, name, -1, TRUE) == CSTR_EQUAL) result.named = true;
  while (!result.named && FindNextFileW(search, &found));
  FindClose(search);
  return result;
}

}  // namespace

leftover_presence look_for_leftover(const wchar_t* temp_path) noexcept {
  try {
    const wchar_t* name = std::wcsrchr(temp_path, L'\\');
    if (name == nullptr) return leftover_presence::present;
    const std::wstring folder(temp_path, static_cast<std::size_t>(name + 1 - temp_path));
    // Taken before the listing: a change during it shows as a later time.
    ULONGLONG written = 0;
    if (!last_write_time(folder, written)) return leftover_presence::present;
    clean_folders& clean = known_clean();
    const ULONGLONG now = GetTickCount64();
    {
      const std::lock_guard<qiv::slim_mutex> hold(clean.lock);
      const auto known = clean.listed.find(folder);
      if (known != clean.listed.end()) {
        if (known->second.clean_at == written) return leftover_presence::absent;
        if (now - known->second.listed_at_ms < relist_after_ms) return leftover_presence::unknown;
      }
    }
    const listing leftovers = list_leftovers(folder, name + 1);
    const std::lock_guard<qiv::slim_mutex> hold(clean.lock);
    if (clean.listed.size() >= most_folders) clean.listed.clear();
    clean.listed[folder] = {leftovers.any ? 0 : written, now};
    return leftovers.named ? leftover_presence::present : leftover_presence::absent;
  } catch (const std::exception&) {
    return leftover_presence::present;
  }
}

}  // namespace vantrel_io
