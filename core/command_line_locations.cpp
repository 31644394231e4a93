#include "core/command_line_locations.h"

#include <windows.h>

#include <cstring>
#include <memory>

#include "foundation/array.h"
#include "foundation/find_file_enum.h"
#include "foundation/string_buffer.h"
#include "foundation/win32_text.h"
#include "foundation/wildcard.h"

namespace command_line {

namespace {

bool is_drive_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool is_bare_drive(const char* text) { return is_drive_letter(text[0]) && text[1] == ':' && text[2] == '\0'; }

}  // namespace

void resolve_location(const char* token, const char* directory, qiv::string_object& out) {
  if (std::strncmp(token, "\\\\?\\", 4) == 0) token += 4;
  if (is_drive_letter(token[0]) && token[1] == ':') {
    out.set_string(token);
    if (token[2] == '\0') out.add_c_str("\\");
    return;
  }
  if (std::strchr(token, ':') != nullptr || std::strncmp(token, "\\\\", 2) == 0) {
    out.set_string(token);
    return;
  }
  qiv::string_buffer relative;
  for (const char* p = token; *p != '\0'; ++p) relative.add_string(*p == '/' ? "\\" : p, 1);
  if (relative.get_ptr()[0] == '\\') {
    const char* native = directory;
    if (std::strncmp(native, "file://", 7) == 0) native += 7;
    out.set_string("");
    if (is_drive_letter(native[0]) && native[1] == ':') out.add_string(native, 2);
    out.add_c_str(relative.get_ptr());
    return;
  }
  out.set_string(directory);
  const std::size_t length = std::strlen(directory);
  if (length == 0 || (directory[length - 1] != '\\' && directory[length - 1] != '/')) out.add_c_str("\\");
  out.add_c_str(relative.get_ptr());
}

namespace {

// Where a folder lives on its volume. Two paths with one identity are one
// folder, however they were reached (a junction, a symbolic link).
struct folder_identity {
  DWORD volume = 0;
  DWORD index_high = 0;
  DWORD index_low = 0;
  bool operator==(const folder_identity&) const = default;
};

bool identify_folder(const char* path, folder_identity& out) {
  const HANDLE folder = create_file_utf8(path, FILE_READ_ATTRIBUTES,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
                                         FILE_FLAG_BACKUP_SEMANTICS);
  if (folder == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION information;
  const bool known = GetFileInformationByHandle(folder, &information) != FALSE;
  CloseHandle(folder);
  if (!known) return false;
  out.volume = information.dwVolumeSerialNumber;
  out.index_high = information.nFileIndexHigh;
  out.index_low = information.nFileIndexLow;
  return true;
}

class expansion {
public:
  expansion(bool folders_whole, location_sink& sink) : folders_whole_(folders_whole), sink_(sink) {}

  void location(const char* path) {
    if (std::strstr(path, "://") != nullptr) {
      sink_.add(path);
    } else if (is_folder(path)) {
      folder(path);
    } else if (qiv::has_wildcards(path)) {
      pattern(path);
    } else {
      sink_.add(path);
    }
  }

private:
  static bool is_folder(const char* path) {
    const std::size_t length = std::strlen(path);
    if (length > 0 && path[length - 1] == '\\') return true;
    if (is_bare_drive(path)) return true;
    const DWORD attributes = get_file_attributes_utf8(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  }

  // Without its trailing backslashes, except the one of a drive's root.
  static qiv::string_buffer folder_path(const char* path) {
    qiv::string_buffer folder(path);
    std::size_t length = folder.get_length();
    while (length > 1 && folder.get_ptr()[length - 1] == '\\') --length;
    folder.truncate(length);
    if (is_bare_drive(folder.get_ptr())) folder.add_c_str("\\");
    return folder;
  }

  void folder(const char* path) {
    const qiv::string_buffer whole = folder_path(path);
    if (folders_whole_) {
      sink_.add(whole.get_ptr());
      return;
    }
    // A link that points back to a folder being expanded would make the
    // expansion endless; such a folder has been listed already.
    folder_identity identity;
    const bool identified = identify_folder(whole.get_ptr(), identity);
    if (identified) {
      for (const folder_identity& open : open_folders_)
        if (open == identity) return;
    } else {
      const DWORD attributes = get_file_attributes_utf8(whole.get_ptr());
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return;
    }
    qiv::string_buffer all(whole);
    if (all.get_ptr()[all.get_length() - 1] != '\\') all.add_c_str("\\");
    all.add_c_str("*");
    if (!identified) {
      pattern(all.get_ptr());
      return;
    }
    open_folders_.append(identity);
    struct leave_folder {
      qiv::array<folder_identity>& open;
      ~leave_folder() { open.remove_range(open.get_count() - 1, open.get_count()); }
    } leave{open_folders_};
    pattern(all.get_ptr());
  }

  void pattern(const char* path) {
    std::size_t folder_length = 0;
    for (std::size_t i = 0; path[i] != '\0'; ++i)
      if (path[i] == '\\' || path[i] == '/' || path[i] == ':') folder_length = i + 1;
    const qiv::string_buffer folder_part(path, folder_length);
    if (qiv::has_wildcards(folder_part.get_ptr())) return;
    const char* name_pattern = path + folder_length;

    qiv::string_buffer search(folder_part);
    search.add_c_str("*");
    std::unique_ptr<find_file_enum> entries = find_file_enum::create(search.get_ptr());
    if (!entries) return;
    qiv::string_buffer name;
    qiv::string_buffer child;
    do {
      entries->name(name);
      const bool is_directory = (entries->attributes() & FILE_ATTRIBUTE_DIRECTORY) != 0;
      if (is_directory && name.get_ptr()[0] == '.') continue;
      if (!qiv::wildcard_match(name.get_ptr(), name_pattern, false)) continue;
      child.set_string(folder_part.get_ptr());
      child.add_c_str(name.get_ptr());
      if (is_directory) folder(child.get_ptr());
      else sink_.add(child.get_ptr());
    } while (entries->next());
  }

  bool folders_whole_;
  location_sink& sink_;
  qiv::array<folder_identity> open_folders_;
};

path_canonicalizer installed_canonicalizer = nullptr;

}  // namespace

void expand_location(const char* location, bool folders_whole, location_sink& sink) {
  expansion(folders_whole, sink).location(location);
}

void set_path_canonicalizer(path_canonicalizer function) noexcept { installed_canonicalizer = function; }

void canonicalize_path(const char* path, qiv::string_object& out) {
  if (installed_canonicalizer != nullptr) installed_canonicalizer(path, out);
  else out.set_string(path);
}

}  // namespace command_line
