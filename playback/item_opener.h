// Opening a queued item for decoding. Consecutive items are often subsongs
// of one file (embedded cue sheets, chapters), so the decoder of the previous
// item is kept when the next one lies in the same file and is only set up
// for the new subsong.
#pragma once

#include <cstdint>
#include <string>

#include "core/abort_signal.h"
#include "io/file_object.h"
#include "metadata/decoder_service.h"
#include "metadata/track_handle.h"

// Decoders that want to know when playback pauses. No input here answers it.
class decoder_pause_extension : public decoder_instance {
public:
  static constexpr GUID class_guid = {0x953C71ED, 0xD3A2, 0x43F4, {0xA3, 0x3A, 0x55, 0x94, 0xD6, 0x73, 0x96, 0xE5}};
  using service_parent = decoder_instance;
  static constexpr bool service_is_extension = true;

  virtual void set_paused(bool paused) = 0;
  // Whether the output should drop what it holds when playback pauses.
  virtual bool flush_output_on_pause() = 0;

protected:
  ~decoder_pause_extension() = default;
};

// The open decoder and the path it reads. Both change together: a path
// without its decoder would let a later item of that path play another file.
class decoder_holder {
public:
  decoder_instance* get() const noexcept { return decoder_.get(); }
  const std::string& path() const noexcept { return path_; }
  void release() noexcept {
    decoder_.reset();
    path_.clear();
  }
  void set(decoder_instance_ptr decoder, const char* path) {
    path_ = path;
    decoder_ = std::move(decoder);
  }

private:
  decoder_instance_ptr decoder_;
  std::string path_;
};

// Opens the item's path unless the holder reads it already, then initialises
// the decoder for the item's subsong with `flags`. On any failure of the open
// the holder is left empty.
void open_item_for_decoding(decoder_holder& holder, const vantrel_io::file_ptr& file, const track_handle& item,
                            std::uint32_t flags, const abort_signal& abort, bool skip_flagged_inputs = false,
                            bool skip_info_refresh = false);

// The open part alone; false when the holder's decoder was kept. A new file's
// info is read through the new decoder into the track handles unless
// `skip_info_refresh`; a damaged info block only costs that refresh.
bool open_decoder_for_path(decoder_holder& holder, const vantrel_io::file_ptr& file, const char* path,
                           const abort_signal& abort, bool skip_flagged_inputs = false,
                           bool skip_info_refresh = false);

// Tells a decoder that answers decoder_pause_extension; nothing otherwise.
void decoder_set_pause_state(decoder_instance* decoder, bool paused);
