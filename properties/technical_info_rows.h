// The read-only rows of the properties tab: where the selected tracks live,
// their length and format, and their ReplayGain, each computed over the whole
// selection (a value that differs between tracks is summed, averaged, given
// with its share of the selection, or left out).
//
// The rows come from every registered properties_info_provider; the program
// has one, below. A provider also names the technical fields it shows, so
// that the tab lists the other ones itself.
#pragma once

#include <string>
#include <string_view>

#include "core/service_object.h"
#include "metadata/track_handle.h"
#include "properties/info_cache.h"

// Where a provider puts its rows. Groups are matched by their label text.
class info_row_sink {
public:
  virtual void add_row(const std::string& group, double sort_key, const std::string& name,
                       const std::string& value) = 0;

protected:
  ~info_row_sink() = default;
};

class properties_info_provider : public service_object {
public:
  static constexpr GUID class_guid = {0xEFCDD365, 0x81FC, 0x4C82, {0x96, 0x1C, 0xA2, 0xB5, 0x76, 0x1A, 0xF8, 0xB7}};
  using service_parent = service_object;

  // `infos` is the dialog's cache of what it loaded for the tracks.
  virtual void list_rows(const track_handle_list& tracks, const info_cache& infos, info_row_sink& sink) = 0;
  // Whether the rows already show this technical field (any letter case).
  virtual bool claims_field(const char* name) = 0;
};

// The pieces of the rows that are worth checking on their own.
namespace technical_info {

// "1.5 MB (1 572 864 bytes)"; below 1 KB just "500 B".
std::string file_size_text(std::uint64_t bytes);
// Digits with a blank before each group of three from the right.
std::string group_thousands(std::uint64_t value);
// The folder of a display path: up to its last separator, which is kept only
// when nothing but a separator comes before it ("C:\", "\\srv\share").
std::string folder_name(std::string_view display_path);
// After the last separator, cut before a '?'.
std::string file_name(std::string_view display_path);

}  // namespace technical_info
