// Whether a folder may hold a temporary file that a killed rewrite left
// (make_retag_temp_path's "temp-*.tmp"). Under Wine, looking up a name that
// does not exist reads the whole folder, which an update of many files in one
// folder would otherwise do for every file; one listing per folder answers
// for every file in it while the folder is unchanged (its last-write time,
// which every file made, renamed or removed in it moves).
#pragma once

namespace vantrel_io {

// Whether the folder of `temp_path` (a Win32 path) may hold a file of its
// name: false without a look when a listing found no "temp-*.tmp" file there
// and the folder has not changed since; true without a look (the caller looks
// the name up) when the folder has changed since a listing less than two
// seconds ago, as it does while its files are rewritten; else as a new
// listing finds. True when the folder cannot be asked.
bool leftover_may_exist(const wchar_t* temp_path) noexcept;

}  // namespace vantrel_io
