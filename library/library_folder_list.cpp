// Which folders make up the library: the Windows music folders (or the
// program's own folder in portable mode) and the user's additional folders.
#include "library/library_folder_list.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "core/app_state.h"
#include "core/config_item_registrations.h"
#include "core/service_factory.h"
#include "core/startup_services.h"
#include "foundation/code_point_text.h"
#include "foundation/string_buffer.h"
#include "foundation/win32_text.h"
#include "io/native_operations.h"
#include "library/known_folder_paths.h"
#include "library/library_database.h"
#include "library/media_library.h"
#include "library/nav_controller.h"
#include "library/nav_first_view.h"

std::string library_folder_text(const std::string& path) {
  qiv::string_buffer canonical;
  if (vantrel_io::native_canonicalize_path(path.c_str(), canonical, true) &&
      std::strncmp(canonical.get_ptr(), "file://", 7) == 0)
    return std::string(canonical.get_ptr() + 7, canonical.get_length() - 7);
  return path;
}

std::string library_folder_key(const std::string& path) {
  std::string key = media_library::folder_text_native(path);
  std::replace(key.begin(), key.end(), '/', '\\');
  if (key.rfind("\\\\?\\UNC\\", 0) == 0) key.replace(0, 8, "\\\\");
  else if (key.rfind("\\\\?\\", 0) == 0) key.erase(0, 4);
  if (key.empty()) return key;
  qiv::string_buffer full;
  if (get_full_path_name_utf8(key.c_str(), full) != 0) key = full.get_ptr();
  // Only a folder that exists has its short names made long.
  qiv::string_buffer long_form;
  if (get_long_path_name_utf8(key.c_str(), long_form) != 0) key = long_form.get_ptr();
  // A drive's root keeps its separator; any other folder loses it.
  while (key.size() > 3 && key.back() == '\\') key.pop_back();
  qiv::string_buffer upper;
  qiv::string_to_upper_utf8(upper, key.c_str());
  return upper.get_ptr();
}

void drop_repeated_folders(std::vector<std::string>& folders) {
  std::set<std::string> seen;
  std::vector<std::string> kept;
  for (std::string& folder : folders)
    if (seen.insert(library_folder_key(folder)).second) kept.push_back(std::move(folder));
  folders = std::move(kept);
}

namespace media_library {

void default_folders(std::vector<std::string>& out) {
  out.clear();
  std::vector<std::string> paths = known_folder_paths(known_folder::music_library);
  if (paths.empty()) paths = known_folder_paths(known_folder::music);
  for (const std::string& path : paths) out.push_back(library_folder_text(path));
}

void startup_folders() {
  std::vector<std::string> folders;
  if (app::state().portable_library) folders.push_back(".");
  else if (config::library_include_music_library.get()) default_folders(folders);
  for (const qiv::string_small& extra : config::library_extra_folders.value()) folders.push_back(extra.get_ptr());
  // A folder stored twice, or also one of the Windows folders, would be
  // scanned and listed twice.
  drop_repeated_folders(folders);
  set_folder_list(std::move(folders));
}

}  // namespace media_library

namespace {

class library_lifecycle_impl : public library_lifecycle {
public:
  void startup_folders() override {
    media_library::startup_folders();
    // A run without a window has no use for the library at once.
    if (!app::state().quiet) library_database_preload(nav_first_view::request(nav_last_location.value));
  }
  // Start-up and shutdown call it only as the process ends.
  void shutdown() override { media_library::shutdown_for_exit(); }
};
service_factory_single_t<library_lifecycle_impl> lifecycle_registration;

}  // namespace
