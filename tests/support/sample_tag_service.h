// The one trailing-tag service start-up insists on, for tests that build
// their own service tables; it has no tags to remove.
#pragma once

#include "core/tag_service.h"

class sample_tag_service : public tag_service {
public:
  void read(vantrel_io::file_object&, track_info&, const abort_signal&) override {}
  void write(vantrel_io::file_object&, const track_info&, unsigned, const abort_signal&) override {}
  bool can_hold_info(const track_info&) override { return false; }
  void reduce_to_id3v1(track_info&) override {}
  void read_ex(vantrel_io::file_object&, track_info&, std::uint64_t&, const abort_signal&) override {}
  void remove(vantrel_io::file_object&, const abort_signal&) override {}
};
