// The DSP chain: the ordered settings of the DSPs that playback runs, each
// entry naming its DSP by class GUID and carrying parameter bytes that only
// that DSP interprets. The active chain is a configuration item; the preset
// list (core/dsp_preset_list.h) stores further chains in the same form.
//
// Stored form: u32 entry count; per entry the owner GUID (16 bytes), the u32
// parameter size and the parameter bytes.
#pragma once

#include <windows.h>

#include <cstdint>

#include "core/byte_stream.h"
#include "core/config_item.h"
#include "foundation/array.h"
#include "foundation/bit_array.h"

// The settings of one DSP: a plain value, copied rather than shared. Any
// implementation of the interface can be copied into another.
class dsp_preset {
public:
  // Larger parameter blocks come only from damaged data.
  static constexpr std::uint32_t max_data_size = 0x2000000;

  dsp_preset() = default;
  dsp_preset(const dsp_preset& other) : dsp_preset() { assign(other); }
  dsp_preset& operator=(const dsp_preset& other) {
    if (this != &other) assign(other);
    return *this;
  }
  // Moves take the bytes without copying and cannot fail, so lists of
  // presets stay whole when an insertion fails.
  dsp_preset(dsp_preset&& other) noexcept : owner_(other.owner_), data_(std::move(other.data_)) {}
  dsp_preset& operator=(dsp_preset&& other) noexcept {
    owner_ = other.owner_;
    data_ = std::move(other.data_);
    return *this;
  }
  virtual ~dsp_preset() = default;

  virtual GUID get_guid() const { return owner_; }
  virtual void set_guid(const GUID& owner) { owner_ = owner; }
  virtual const void* get_data() const { return data_.data(); }
  virtual std::uint32_t get_data_size() const { return data_.get_count(); }
  // The parameter bytes become exactly these `size` bytes.
  virtual void set_data(const void* bytes, std::uint32_t size) { data_.assign(bytes, size); }
  // The parameter bytes become the next `size` bytes of the stream; a short
  // stream is damaged data.
  virtual void read_data(byte_stream_reader& source, std::uint32_t size, const abort_signal& abort);

  // Takes the other's GUID and parameter bytes through its interface.
  void assign(const dsp_preset& other);
  // Same owner, same size, same bytes.
  bool equals(const dsp_preset& other) const;

private:
  GUID owner_ = {};
  qiv::byte_array data_;
};

class dsp_chain {
public:
  std::uint32_t get_count() const noexcept { return entries_.get_count(); }
  const dsp_preset& get_item(std::uint32_t index) const { return entries_[index]; }
  void set_item(std::uint32_t index, const dsp_preset& entry) { entries_[index].assign(entry); }
  // A position beyond the end appends.
  void insert_item(const dsp_preset& entry, std::uint32_t position);
  void add_item(const dsp_preset& entry) { insert_item(entry, get_count()); }
  // Removes the entries whose bit is set.
  void remove_mask(const qiv::bit_array& mask);
  void remove_all() noexcept { entries_.clear(); }

  // Empties the chain, then appends the stored entries one by one: after a
  // failure the entries read before it stay.
  static void read(dsp_chain& chain, byte_stream_reader& source, const abort_signal& abort);
  static void write(const dsp_chain& chain, byte_stream_writer& target, const abort_signal& abort);

private:
  qiv::array<dsp_preset> entries_;
};

class config_dsp_chain final : public config_item {
public:
  explicit config_dsp_chain(const GUID& guid, config_item** list = &global_list_head) : config_item(guid, list) {}

  dsp_chain& value() noexcept { return value_; }
  const dsp_chain& value() const noexcept { return value_; }

  void read(byte_stream_reader& source, std::uint32_t, const abort_signal& abort) override {
    dsp_chain::read(value_, source, abort);
  }
  void write(byte_stream_writer& target, const abort_signal& abort) override { dsp_chain::write(value_, target, abort); }

private:
  dsp_chain value_;
};
