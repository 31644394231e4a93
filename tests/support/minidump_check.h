// Reads back a minidump file far enough to tell whether it is whole: the
// header, a stream directory that lies inside the file, streams that lie
// inside the file, and the exception stream with its code and thread.
#pragma once

#include <windows.h>
#include <dbghelp.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace test_support {

struct minidump_summary {
  bool whole = false;          // header and every stream inside the file
  bool has_exception = false;
  std::uint32_t exception_code = 0;
  std::uint32_t exception_thread = 0;
};

inline std::vector<std::uint8_t> read_whole_file(const std::wstring& path) {
  std::vector<std::uint8_t> bytes;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  LARGE_INTEGER size;
  if (GetFileSizeEx(file, &size) && size.QuadPart < 0x40000000) {
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty() && (!ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
                           read != bytes.size()))
      bytes.clear();
  }
  CloseHandle(file);
  return bytes;
}

inline minidump_summary summarize_minidump(const std::wstring& path) {
  constexpr ULONG32 dump_signature = 0x504D444D;  // "MDMP"
  minidump_summary summary;
  const std::vector<std::uint8_t> bytes = read_whole_file(path);
  MINIDUMP_HEADER header;
  if (bytes.size() < sizeof(header)) return summary;
  std::memcpy(&header, bytes.data(), sizeof(header));
  if (header.Signature != dump_signature || (header.Version & 0xFFFF) != MINIDUMP_VERSION) return summary;
  const std::uint64_t directory_end =
      std::uint64_t(header.StreamDirectoryRva) + std::uint64_t(header.NumberOfStreams) * sizeof(MINIDUMP_DIRECTORY);
  if (header.NumberOfStreams == 0 || directory_end > bytes.size()) return summary;
  for (ULONG32 i = 0; i < header.NumberOfStreams; ++i) {
    MINIDUMP_DIRECTORY entry;
    std::memcpy(&entry, bytes.data() + header.StreamDirectoryRva + i * sizeof(entry), sizeof(entry));
    if (std::uint64_t(entry.Location.Rva) + entry.Location.DataSize > bytes.size()) return summary;
    if (entry.StreamType == ExceptionStream && entry.Location.DataSize >= sizeof(MINIDUMP_EXCEPTION_STREAM)) {
      MINIDUMP_EXCEPTION_STREAM exception;
      std::memcpy(&exception, bytes.data() + entry.Location.Rva, sizeof(exception));
      summary.has_exception = true;
      summary.exception_code = exception.ExceptionRecord.ExceptionCode;
      summary.exception_thread = exception.ThreadId;
    }
  }
  summary.whole = true;
  return summary;
}

}  // namespace test_support
