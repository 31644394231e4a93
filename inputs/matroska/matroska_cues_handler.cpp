#include "inputs/matroska/matroska_cues_handler.h"

#include "inputs/matroska/ebml_elements.h"
#include "inputs/matroska/ebml_values.h"
#include "inputs/matroska/matroska_ids.h"
#include "io/io_exceptions.h"

namespace Matroska {

namespace {

class track_positions_handler : public ebml_element_handler {
public:
  void on_element(std::uint32_t id, std::uint64_t size, ebml_reader& reader) override {
    if (id == ids::cue_track) {
      track = ebml_read_uint(reader, size);
      has_track = true;
    } else if (id == ids::cue_cluster_position) {
      position = ebml_read_uint(reader, size);
      has_position = true;
    }
  }

  void on_end() override {
    if (!has_track || !has_position) vantrel_io::throw_io_data();
  }

  std::uint64_t track = 0, position = 0;
  bool has_track = false, has_position = false;
};

class cue_point_handler : public ebml_element_handler {
public:
  explicit cue_point_handler(std::uint64_t track_number) : track_(track_number) {}

  void on_element(std::uint32_t id, std::uint64_t size, ebml_reader& reader) override {
    if (id == ids::cue_time) {
      time = ebml_read_uint(reader, size);
      has_time = true;
    } else if (id == ids::cue_track_positions) {
      track_positions_handler positions;
      ebml_read_children(reader, positions);
      if (positions.track == track_) {
        position = positions.position;
        has_position = true;
      }
    }
  }

  std::uint64_t time = 0, position = 0;
  bool has_time = false, has_position = false;

private:
  std::uint64_t track_;
};

}  // namespace

void matroska_cues_handler::on_element(std::uint32_t id, std::uint64_t, ebml_reader& reader) {
  if (id != ids::cue_point) return;
  cue_point_handler point(track_);
  ebml_read_children(reader, point);
  if (point.has_time && point.has_position) cues_[point.time] = point.position;
}

}  // namespace Matroska
