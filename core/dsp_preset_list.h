// The DSP presets the user saved: named DSP chains, kept in the order the
// user arranged them, stored as one configuration item.
//
// Stored form: u32 preset count; per preset the u32 byte length of its name,
// the UTF-8 name (no terminator) and its chain in the DSP chain form.
#pragma once

#include <cstdint>

#include "core/config_item.h"
#include "core/dsp_chain.h"
#include "foundation/array.h"
#include "foundation/refcounted.h"
#include "foundation/string_small.h"

// Shared by the list and the dialog that shows it.
class dsp_named_preset : public qiv::refcounted_object {
public:
  qiv::string_small name;
  dsp_chain chain;
};

class dsp_preset_list {
public:
  std::uint32_t get_count() const noexcept { return presets_.get_count(); }
  dsp_named_preset& get_item(std::uint32_t index) const { return *presets_[index]; }
  void add_item(dsp_named_preset* preset) { presets_.append(qiv::ref_ptr<dsp_named_preset>(preset)); }
  // The preset at `index` becomes this one, in the same place.
  void set_item(std::uint32_t index, dsp_named_preset* preset) {
    presets_.set(index, qiv::ref_ptr<dsp_named_preset>(preset));
  }
  void remove_item(std::uint32_t index) { presets_.remove_range(index, index + 1); }
  void remove_all() noexcept { presets_.clear(); }

  // All or nothing: any failure empties the list and is passed on, so a
  // damaged record never leaves half a list behind.
  static void read(dsp_preset_list& list, byte_stream_reader& source, const abort_signal& abort);
  static void write(const dsp_preset_list& list, byte_stream_writer& target, const abort_signal& abort);

private:
  qiv::array<qiv::ref_ptr<dsp_named_preset>> presets_;
};

class config_dsp_preset_list final : public config_item {
public:
  explicit config_dsp_preset_list(const GUID& guid, config_item** list = &global_list_head) : config_item(guid, list) {}

  dsp_preset_list& value() noexcept { return value_; }
  const dsp_preset_list& value() const noexcept { return value_; }

  void read(byte_stream_reader& source, std::uint32_t, const abort_signal& abort) override {
    dsp_preset_list::read(value_, source, abort);
  }
  void write(byte_stream_writer& target, const abort_signal& abort) override {
    dsp_preset_list::write(value_, target, abort);
  }

private:
  dsp_preset_list value_;
};
