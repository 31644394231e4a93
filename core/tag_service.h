// The service for the trailing tags of a file (APEv2 and ID3v1). The program
// carries exactly one; start-up refuses to run with none or with several,
// since that means the installation is damaged.
#pragma once

#include <cstdint>

#include "core/abort_signal.h"
#include "core/service_object.h"

namespace vantrel_io {
class file_object;
}
class track_info;

class tag_service : public service_object {
public:
  static constexpr GUID class_guid = {0xAD537D40, 0x499D, 0x4C29, {0x81, 0xD4, 0xC0, 0xFA, 0x49, 0x6D, 0xD5, 0x8C}};
  using service_parent = service_object;

  // What write puts at the end of the file.
  static constexpr unsigned write_apev2 = 1;
  static constexpr unsigned write_id3v1 = 2;

  // The trailing tags' fields replace those of `info`; none found is
  // exception_tag_not_found.
  virtual void read(vantrel_io::file_object& file, track_info& info, const abort_signal& abort) = 0;
  // Replaces the trailing tags by those `kinds` selects; items of an old
  // APEv2 tag that are no text fields (pictures, read-only items) stay.
  virtual void write(vantrel_io::file_object& file, const track_info& info, unsigned kinds,
                     const abort_signal& abort) = 0;
  // Cuts every trailing tag off the end of the file; a file without any is
  // left as it is.
  virtual void remove(vantrel_io::file_object& file, const abort_signal& abort) = 0;
  // True when an ID3v1 tag holds `info` without loss.
  virtual bool can_hold_info(const track_info& info) = 0;
  // Leaves in `info` only what an ID3v1 tag would keep.
  virtual void reduce_to_id3v1(track_info& info) = 0;
  // As read; `tag_start` receives the offset where the trailing tags begin.
  virtual void read_ex(vantrel_io::file_object& file, track_info& info, std::uint64_t& tag_start,
                       const abort_signal& abort) = 0;
};
