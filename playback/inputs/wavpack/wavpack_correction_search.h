// Finding a hybrid WavPack file's correction file: the same path with "c"
// appended (song.wv, song.wvc), beside the file or in the folders of the
// advanced setting "Additional correction file folders".
#pragma once

#include <string>
#include <vector>

#include "core/abort_signal.h"
#include "core/advanced_setting.h"
#include "io/file_object.h"

extern advanced_setting_string correction_folders_setting;

// The folders of a ";"-separated list, in order, empty entries skipped and
// nothing trimmed. The scan stops at the first invalid UTF-8 sequence.
std::vector<std::string> split_correction_folders(const std::string& text);

// Opens the correction file of `main_path` for reading into `out`. Only a
// missing candidate moves the search on; any other failure (sharing
// violation, abort, a path nobody claims) ends it: false, and the file plays
// in its lossy form.
bool find_correction_file(const char* main_path, const std::vector<std::string>& folders, vantrel_io::file_ptr& out,
                          const abort_signal& abort);
// The same with the folders of the setting.
bool find_correction_file(const char* main_path, vantrel_io::file_ptr& out, const abort_signal& abort);
