// "Show in Explorer" in the item context menu: Explorer on the folder of the
// selected tracks, with their files selected. Offered greyed when the tracks
// are not all local files of one folder.
#include <set>
#include <string>
#include <vector>

#include "core/localized_text.h"
#include "core/service_factory.h"
#include "foundation/case_folding.h"
#include "foundation/string_small.h"
#include "foundation/wide_buffer.h"
#include "foundation/win32_error.h"
#include "io/path_schemes.h"
#include "ui/menus/context_menu_group_def.h"
#include "ui/menus/context_menu_item.h"
#include "ui/menus/information_popup.h"
#include "ui/menus/show_in_explorer.h"

namespace {

constexpr GUID show_in_explorer_command = {0xEFC1E9C8, 0xEEEF, 0x427A, {0x8F, 0x42, 0xE5, 0x78, 0x16, 0x05, 0x84, 0x6D}};

std::vector<std::string> paths_of(const track_handle_list& tracks) {
  std::vector<std::string> paths;
  paths.reserve(tracks.size());
  for (const track_handle_ptr& track : tracks) paths.emplace_back(track->get_location().get_path());
  return paths;
}

// The file name of a native path: after its last separator, cut at a "?".
std::string file_name_of(const std::string& native) {
  const std::size_t separator = native.find_last_of("\\/|:");
  std::string name = separator == std::string::npos ? native : native.substr(separator + 1);
  return name.substr(0, name.find('?'));
}

struct nocase_less {
  bool operator()(const std::string& a, const std::string& b) const { return qiv::compare_nocase(a.c_str(), b.c_str()) < 0; }
};

class show_in_explorer_item : public context_menu_item {
public:
  std::uint32_t get_count() override { return 1; }
  GUID get_guid(std::uint32_t) override { return show_in_explorer_command; }
  void get_name(std::uint32_t, qiv::string_object& output) override {
    localized_text::get("contextmenu_show_in_explorer", output);
  }
  double get_priority() override { return -50.0; }
  GUID get_parent() override { return context_menu_groups::root; }

  bool get_display(std::uint32_t index, const track_handle_list& tracks, qiv::string_object& text,
                   std::uint32_t& flags, const GUID&) override {
    std::string folder;
    if (!tracks_common_native_folder(paths_of(tracks), folder)) flags |= flag_disabled | flag_grayed;
    get_name(index, text);
    return true;
  }

  void execute(std::uint32_t, const track_handle_list& tracks, const GUID&) override {
    const std::vector<std::string> paths = paths_of(tracks);
    std::string folder;
    if (!tracks_common_native_folder(paths, folder)) return;
    // Two cue-sheet tracks of one file, or names differing only in case,
    // are one file to select.
    std::set<std::string, nocase_less> names;
    qiv::string_small native;
    for (const std::string& path : paths)
      if (vantrel_io::file_url_to_native(path.c_str(), native)) names.insert(file_name_of(native.get_ptr()));
    std::vector<std::wstring> wide_names;
    for (const std::string& name : names) wide_names.emplace_back(qiv::string_to_wide(name.c_str()).get_ptr());
    try {
      shell_show_in_explorer(qiv::string_to_wide(folder.c_str()).get_ptr(), wide_names);
    } catch (const exception_com& error) {
      show_labelled_information_popup(dialog_information_caption(), qiv::win32_error_text(error.code()).get_ptr());
    }
  }
};

service_factory_single_t<show_in_explorer_item> show_in_explorer_registration;

}  // namespace
