#include "inputs/matroska/matroska_tracks_handler.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "foundation/utf8.h"
#include "inputs/matroska/ebml_elements.h"
#include "inputs/matroska/ebml_values.h"
#include "inputs/matroska/matroska_content_decoding.h"
#include "inputs/matroska/matroska_ids.h"
#include "io/io_exceptions.h"

namespace Matroska {

namespace {

// A name that is no UTF-8 text is left out rather than costing the file.
std::string usable_name(const std::vector<std::uint8_t>& bytes) {
  std::string text(bytes.begin(), std::find(bytes.begin(), bytes.end(), std::uint8_t{0}));
  return qiv::is_valid_utf8(text.data(), text.size()) ? text : std::string();
}

class audio_handler : public ebml_element_handler {
public:
  explicit audio_handler(matroska_audio_settings& audio) : audio_(audio) {}

  void on_element(std::uint32_t id, std::uint64_t size, ebml_reader& reader) override {
    switch (id) {
      case ids::sampling_frequency:
        audio_.sampling_frequency = matroska_usable_rate(ebml_read_float(reader, size));
        break;
      case ids::output_sampling_frequency:
        audio_.output_sampling_frequency = matroska_usable_rate(ebml_read_float(reader, size));
        break;
      case ids::channels:
        audio_.channels = ebml_read_uint32(reader, size);
        break;
      case ids::bit_depth:
        audio_.bit_depth = ebml_read_uint32(reader, size);
        break;
    }
  }

private:
  matroska_audio_settings& audio_;
};

class compression_handler : public ebml_element_handler {
public:
  explicit compression_handler(matroska_content_encoding& encoding) : encoding_(encoding) {}

  void on_element(std::uint32_t id, std::uint64_t size, ebml_reader& reader) override {
    if (id == ids::content_comp_algo) {
      encoding_.compression_algorithm = ebml_read_uint(reader, size);
    } else if (id == ids::content_comp_settings) {
      encoding_.compression_settings = ebml_read_binary(reader, size);
    }
  }

private:
  matroska_content_encoding& encoding_;
};

class encoding_handler : public ebml_element_handler {
public:
  explicit encoding_handler(matroska_track& track) : track_(track) {}

  void on_element(std::uint32_t id, std::uint64_t size, ebml_reader& reader) override {
    switch (id) {
      case ids::content_encoding_order:
        encoding_.order = ebml_read_uint(reader, size);
        break;
      case ids::content_encoding_scope:
        encoding_.scope = ebml_read_uint(reader, size);
        break;
      case ids::content_encoding_type:
        encoding_.type = ebml_read_uint(reader, size);
        break;
      case ids::content_compression: {
        compression_handler compression(encoding_);
        ebml_read_children(reader, compression);
        break;
      }
    }
  }

  void on_end() override {
    if (encoding_.scope > (matroska_scope_frames | matroska_scope_private)) vantrel_io::throw_io_data();
    track_.encodings.try_emplace(encoding_.order, std::move(encoding_));
  }

private:
  matroska_track& track_;
  matroska_content_encoding encoding_;
};

class encodings_handler : public ebml_element_handler {
public:
  explicit encodings_handler(matroska_track& track) : track_(track) {}

  void on_element(std::uint32_t id, std::uint64_t, ebml_reader& reader) override {
    if (id != ids::content_encoding) return;
    encoding_handler encoding(track_);
    ebml_read_children(reader, encoding);
  }

private:
  matroska_track& track_;
};

class track_entry_handler : public ebml_element_handler {
public:
  explicit track_entry_handler(matroska_track& track) : track_(track), audio_(track.audio), encodings_(track) {}

  void on_element(std::uint32_t id, std::uint64_t size, ebml_reader& reader) override {
    switch (id) {
      case ids::track_number:
        track_.number = ebml_read_uint32(reader, size);
        break;
      case ids::track_uid:
        track_.uid = ebml_read_uint_nonzero(reader, size);
        break;
      case ids::track_type:
        track_.type = ebml_read_uint32(reader, size);
        has_type_ = true;
        break;
      case ids::flag_enabled:
        track_.enabled = ebml_read_bool(reader, size);
        break;
      case ids::flag_default:
        track_.is_default = ebml_read_bool(reader, size);
        break;
      case ids::flag_forced:
        track_.forced = ebml_read_bool(reader, size);
        break;
      case ids::codec_id:
        track_.codec_id = ebml_read_ascii(reader, size);
        break;
      case ids::track_name:
        track_.name = usable_name(ebml_read_binary(reader, size));
        break;
      case ids::codec_private:
        track_.codec_private = ebml_read_binary(reader, size);
        break;
      case ids::codec_delay:
        track_.codec_delay = ebml_read_uint(reader, size);
        break;
      case ids::audio:
        ebml_read_children_once(reader, audio_);
        track_.has_audio = true;
        break;
      case ids::content_encodings:
        ebml_read_children_once(reader, encodings_);
        track_.has_encodings = true;
        break;
    }
  }

  void on_end() override {
    if (track_.uid == 0 || !has_type_) vantrel_io::throw_io_data();
    if (track_.type == matroska_track_type_audio && !track_.has_audio) vantrel_io::throw_io_data();
    matroska_decode_content(track_.codec_private, track_, matroska_scope_private);
  }

private:
  matroska_track& track_;
  audio_handler audio_;
  encodings_handler encodings_;
  bool has_type_ = false;
};

}  // namespace

double matroska_usable_rate(double hertz) {
  return std::isfinite(hertz) && hertz >= 1.0 && hertz <= 0x1p31 ? hertz : 0.0;
}

void matroska_tracks_handler::on_element(std::uint32_t id, std::uint64_t, ebml_reader& reader) {
  if (id != ids::track_entry) return;
  auto track = std::make_shared<matroska_track>();
  track_entry_handler entry(*track);
  ebml_read_children(reader, entry);
  tracks_.push_back(std::move(track));
  has_entry_ = true;
}

void matroska_tracks_handler::on_end() {
  if (!has_entry_) vantrel_io::throw_io_data();
}

}  // namespace Matroska
