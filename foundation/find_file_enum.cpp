#include "foundation/find_file_enum.h"

#include "foundation/text_or_resource_id.h"
#include "foundation/win32_text.h"

namespace {

std::uint64_t file_time_value(const FILETIME& time) {
  return (std::uint64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

} // namespace

std::unique_ptr<find_file_enum> find_file_enum::create(const char* pattern) {
  auto enumeration = std::make_unique<find_file_enum>();
  enumeration->handle_ = FindFirstFileW(text_or_resource_id(pattern).get(), &enumeration->data_);
  if (enumeration->handle_ == INVALID_HANDLE_VALUE) return nullptr;
  return enumeration;
}

find_file_enum::~find_file_enum() {
  if (handle_ != INVALID_HANDLE_VALUE) FindClose(handle_);
}

bool find_file_enum::next() {
  if (handle_ == INVALID_HANDLE_VALUE) return false;
  return FindNextFileW(handle_, &data_) != FALSE;
}

void find_file_enum::name(qiv::string_object& output) const {
  wide_to_utf8(data_.cFileName, MAX_PATH, output);
}

std::uint64_t find_file_enum::size() const {
  return (std::uint64_t(data_.nFileSizeHigh) << 32) | data_.nFileSizeLow;
}

std::uint64_t find_file_enum::creation_time() const { return file_time_value(data_.ftCreationTime); }
std::uint64_t find_file_enum::last_access_time() const { return file_time_value(data_.ftLastAccessTime); }
std::uint64_t find_file_enum::last_write_time() const { return file_time_value(data_.ftLastWriteTime); }
