// zorvtool nav --library FOLDER ROOT [COMPONENT...]: scans FOLDER into the
// player's media library, opens the library view ROOT ("genres", "artists"
// or "albums"), opens each COMPONENT in turn (its keys joined by "|"; an
// empty text opens everything) and prints the header caption, then one
// entry per line in display order.
// zorvtool nav PATH...: the same for the file-system node at each folder
// PATH ("computer" for the drives), with the folder picture when there is one.
#include <windows.h>

#include <string>

#include "core/config_item_registrations.h"
#include "core/main_thread_queue.h"
#include "foundation/main_thread.h"
#include "io/native_operations.h"
#include "io/path_schemes.h"
#include "library/fs_node.h"
#include "library/library_view_node.h"
#include "tools/zorvtool/zorvtool_command.h"

namespace {

constexpr const char* usage =
    "nav --library FOLDER genres|artists|albums [KEY|KEY...]... | nav PATH|computer...  list a library view of "
    "FOLDER's tracks or a folder, caption first";

wide_text_list split_keys(const std::string& component) {
  wide_text_list keys;
  std::size_t start = 0;
  while (!component.empty() && start <= component.size()) {
    std::size_t end = component.find('|', start);
    if (end == std::string::npos) end = component.size();
    keys.push_back(nav_wide(component.substr(start, end - start)));
    start = end + 1;
  }
  return keys;
}

// Scans the folder once through the library's own folder worker.
void load_library(const std::string& folder) {
  config::library_monitor_folders.set(false);
  media_library::set_folder_list({folder});
  media_library::ensure_loaded();
  media_library::rescan_folders();
  for (;;) {
    main_thread_queue::drain(true);
    bool ready = true;
    media_library::for_each_folder([&](const std::string&, library_folder& entry) { ready &= entry.is_ready(); });
    if (ready) break;
    Sleep(10);
  }
  main_thread_queue::drain(true);
}

std::string listing(nav_node& node) {
  nav_caption caption;
  node.describe(caption);
  std::string out = caption.text + "\n";
  for (const std::wstring& entry : node.entries()) out += nav_utf8(entry) + "\n";
  std::wstring picture;
  if (node.get_picture(picture)) out += "picture: " + nav_utf8(picture) + "\n";
  return out;
}

int browse(const zorvtool::arguments& args) {
  qiv::set_main_thread_id(GetCurrentThreadId());
  for (const std::string& path : args) {
    fs_node node(nullptr, path == "computer" ? nav_path{} : nav_split_path(nav_wide(path)));
    zorvtool::print(listing(node));
  }
  return 0;
}

int run_nav(const zorvtool::arguments& args) {
  if (!args.empty() && args[0] != "--library") return browse(args);
  if (args.size() < 3) {
    zorvtool::print_error(std::string("usage: zorvtool ") + usage + "\n");
    return 2;
  }
  const std::string& root = args[2];
  nav_path path;
  if (root == "artists") path.resize(1);
  else if (root == "albums") path.resize(2);
  else if (root != "genres") {
    zorvtool::print_error("unknown view \"" + root + "\": genres, artists or albums\n");
    return 2;
  }
  for (std::size_t i = 3; i < args.size(); ++i) path.push_back(split_keys(args[i]));

  const std::string folder = zorvtool::system_path(args[1]);
  if (!vantrel_io::native_is_directory(folder.c_str())) {
    zorvtool::print_error("not a folder: " + args[1] + "\n");
    return 1;
  }
  qiv::set_main_thread_id(GetCurrentThreadId());
  // The library's folder list holds native paths.
  std::string native = folder;
  if (native.rfind("file://", 0) == 0) native.erase(0, 7);
  load_library(native);

  zorvtool::print(listing(*library_view_node_create(nullptr, path)));
  media_library::shutdown();
  return 0;
}

const zorvtool::command_registration registration({"nav", usage, run_nav});

}  // namespace
