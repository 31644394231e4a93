// The profile folder: where configuration, library and lock file live, either
// under the user's application-data folder or beside the program (portable).
#pragma once

#include <cstddef>

#include "core/app_state.h"

// Bytes of `path` up to and including its last separator ('\', '/', '|' or ':').
std::size_t program_folder_length(const char* path);

// Sets profile_path: "Zorv Audio Player" under the application-data folder,
// or "zorv-configuration" beside the program in portable mode or when there
// is no application-data folder.
void choose_profile_folder(app::process_state& s);

// Creates the folder when it is not a directory yet; throws
// exception_messagebox "Could not create profile directory".
void create_profile_folder(const app::process_state& s);

bool profile_folder_is_read_only(const app::process_state& s);

// Creates "running" in the profile with no sharing, deleted when closed, and
// holds it until the process ends; nothing when the profile is read-only.
// Throws exception_messagebox "Could not access profile folder".
void take_profile_lock(app::process_state& s);

// Closes the lock file early (the Windows session is ending).
void release_profile_lock(app::process_state& s);
