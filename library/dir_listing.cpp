#include "library/dir_listing.h"

#include <windows.h>
#include <winternl.h>

#include <memory>

#include "foundation/win32_error.h"
#include "foundation/win32_handles.h"

// The system's own listing call, given a large buffer: one request returns
// hundreds of entries, at a lower cost per entry than a FindNextFileW search
// (about a third less under Wine).
extern "C" NTSTATUS NTAPI NtQueryDirectoryFile(HANDLE file, HANDLE event, PVOID apc, PVOID apc_context,
                                               PIO_STATUS_BLOCK status, PVOID buffer, ULONG length,
                                               FILE_INFORMATION_CLASS information_class, BOOLEAN single_entry,
                                               PUNICODE_STRING file_name, BOOLEAN restart_scan);

namespace {

constexpr NTSTATUS status_no_more_files = static_cast<NTSTATUS>(0x80000006);
constexpr NTSTATUS status_no_such_file = static_cast<NTSTATUS>(0xC000000F);
// About 600 entries of usual names a request.
constexpr ULONG listing_buffer_bytes = 64 * 1024;

}  // namespace

std::wstring dir_open_path(const std::wstring& folder) {
  return folder.size() == 2 && folder[1] == L':' ? folder + L"\\" : folder;
}

void dir_listing(const std::wstring& folder, const std::function<void(const dir_entry& entry)>& visit) {
  // Listing must never keep the user from renaming or deleting the folder.
  win32_handle directory(CreateFileW(dir_open_path(folder).c_str(), FILE_LIST_DIRECTORY | SYNCHRONIZE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (directory.get() == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    // A folder that is not there is a path not found, whichever level is
    // missing, as a search inside it reports.
    throw exception_win32(error == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : error);
  }
  const auto buffer = std::make_unique<ULONGLONG[]>(listing_buffer_bytes / sizeof(ULONGLONG));
  for (BOOLEAN first = TRUE;; first = FALSE) {
    IO_STATUS_BLOCK status_block = {};
    const NTSTATUS status = NtQueryDirectoryFile(directory.get(), nullptr, nullptr, nullptr, &status_block,
                                                 buffer.get(), listing_buffer_bytes, FileDirectoryInformation, FALSE,
                                                 nullptr, first);
    if (status == status_no_more_files || status == status_no_such_file) return;
    if (status < 0) throw exception_win32(RtlNtStatusToDosError(status));
    if (status_block.Information == 0) return;
    const auto* bytes = reinterpret_cast<const unsigned char*>(buffer.get());
    for (ULONG offset = 0;;) {
      const auto* entry = reinterpret_cast<const FILE_DIRECTORY_INFORMATION*>(bytes + offset);
      const std::wstring_view name(entry->FileName, entry->FileNameLength / sizeof(WCHAR));
      if (!name.empty() && name[0] != L'.' && (entry->FileAttributes & FILE_ATTRIBUTE_HIDDEN) == 0)
        visit({name, entry->FileAttributes});
      if (entry->NextEntryOffset == 0) break;
      offset += entry->NextEntryOffset;
    }
  }
}
