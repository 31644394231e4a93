// The folder list of the library and where its entries come from.
#pragma once

#include <string>
#include <vector>

// How a path from Windows enters the folder list: its canonical native form
// when it has one, else the path as given.
std::string library_folder_text(const std::string& path);

// What every spelling of one folder has in common (letter case, the "\\?\"
// prefix, forward slashes, "." and "..", a trailing separator, short names of
// folders that exist), so that no folder enters the list twice. The folder
// text "." is the program's folder, not the working folder.
std::string library_folder_key(const std::string& path);
// Keeps the first of the folders that share a key, in their order.
void drop_repeated_folders(std::vector<std::string>& folders);

namespace media_library {

// The Windows music folders: the music library's folders, else the Music
// folder.
void default_folders(std::vector<std::string>& out);
// Rebuilds the folder list from the settings; loads and applies nothing.
void startup_folders();

}  // namespace media_library
