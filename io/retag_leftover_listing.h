// Whether a folder may hold a temporary file that a killed rewrite left
// (make_retag_temp_path's "temp-*.tmp"). Under Wine, looking up a name that
// does not exist reads the whole folder, which an update of many files in one
// folder would otherwise do for every file; one listing per folder answers
// for every file in it while the folder is unchanged (its last-write time,
// which every file made, renamed or removed in it moves).
#pragma once

namespace vantrel_io {

enum class leftover_presence {
  absent,
  // Or the folder cannot be listed.
  present,
  // Only looking the name up tells.
  unknown,
};

// Whether the folder of `temp_path` (a Win32 path) holds a file of its name:
// absent without a look when a listing found no "temp-*.tmp" file there and
// the folder has not changed since; unknown without a look when the folder
// has changed since a listing less than two seconds ago, as it does while
// its files are rewritten; else as a new listing finds.
leftover_presence look_for_leftover(const wchar_t* temp_path) noexcept;

}  // namespace vantrel_io
