#include "ui/framework/timestamp_text.h"

#include <windows.h>

#include <cstdio>

std::string format_timestamp_text(std::uint64_t file_time) {
  const FILETIME utc = {static_cast<DWORD>(file_time), static_cast<DWORD>(file_time >> 32)};
  FILETIME local;
  SYSTEMTIME parts;
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &parts)) return "<invalid timestamp>";
  char text[32];
  std::snprintf(text, sizeof(text), "%04u-%02u-%02u %02u:%02u:%02u", parts.wYear, parts.wMonth, parts.wDay,
                parts.wHour, parts.wMinute, parts.wSecond);
  return text;
}
