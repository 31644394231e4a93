#include "playback/inputs/wavpack/wavpack_correction_search.h"

#include <exception>

#include "core/advanced_settings_registrations.h"
#include "foundation/path_names.h"
#include "foundation/string_buffer.h"
#include "io/io_exceptions.h"
#include "io/path_schemes.h"
#include "io/scheme_handler.h"

advanced_setting_string correction_folders_setting(advanced_settings::playback_root_guid,
                                                   "Additional correction file folders", "", 0.0);

namespace {

// Length of the UTF-8 sequence starting at `text[i]`; 0 when invalid.
std::size_t utf8_sequence_length(const std::string& text, std::size_t i) {
  const unsigned char lead = static_cast<unsigned char>(text[i]);
  std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
  if (length == 0 || i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k)
    if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 0;
  return length;
}

void open_candidate(const std::string& path, vantrel_io::file_ptr& out, const abort_signal& abort) {
  vantrel_io::get_scheme_handler(path.c_str())->open(out, path.c_str(), vantrel_io::open_mode::read, abort);
}

}  // namespace

std::vector<std::string> split_correction_folders(const std::string& text) {
  std::vector<std::string> folders;
  std::string current;
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t length = utf8_sequence_length(text, i);
    if (length == 0) break;
    if (text[i] == ';') {
      if (!current.empty()) folders.push_back(std::move(current));
      current.clear();
    } else {
      current.append(text, i, length);
    }
    i += length;
  }
  if (!current.empty()) folders.push_back(std::move(current));
  return folders;
}

bool find_correction_file(const char* main_path, const std::vector<std::string>& folders, vantrel_io::file_ptr& out,
                          const abort_signal& abort) {
  const std::string candidate = std::string(main_path) + "c";
  try {
    try {
      open_candidate(candidate, out, abort);
      return true;
    } catch (const vantrel_io::exception_io_not_found&) {
    }
    const std::string name = qiv::string_filename_ext(candidate.c_str()).get_ptr();
    for (const std::string& folder : folders) {
      std::string path = folder;
      if (path.back() != '\\') path += '\\';
      path += name;
      try {
        open_candidate(path, out, abort);
        return true;
      } catch (const vantrel_io::exception_io_not_found&) {
      }
    }
  } catch (const std::exception&) {
  }
  out.reset();
  return false;
}

bool find_correction_file(const char* main_path, vantrel_io::file_ptr& out, const abort_signal& abort) {
  qiv::string_buffer text;
  correction_folders_setting.get_state(text);
  return find_correction_file(main_path, split_correction_folders(text.get_ptr()), out, abort);
}
