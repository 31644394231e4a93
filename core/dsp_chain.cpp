#include "core/dsp_chain.h"

#include <cstring>

void dsp_preset::read_data(byte_stream_reader& source, std::uint32_t size, const abort_signal& abort) {
  // Checked before the bytes are allocated: a damaged size must not cost
  // memory the record does not even hold.
  source.require_remaining(size);
  data_.set_size(size);
  if (size != 0) source.read_exact(data_.data(), size, abort);
}

void dsp_preset::assign(const dsp_preset& other) {
  set_guid(other.get_guid());
  set_data(other.get_data(), other.get_data_size());
}

bool dsp_preset::equals(const dsp_preset& other) const {
  const GUID a = get_guid();
  const GUID b = other.get_guid();
  if (std::memcmp(&a, &b, sizeof(GUID)) != 0) return false;
  const std::uint32_t size = get_data_size();
  if (size != other.get_data_size()) return false;
  return size == 0 || std::memcmp(get_data(), other.get_data(), size) == 0;
}

void dsp_chain::insert_item(const dsp_preset& entry, std::uint32_t position) {
  qiv::array<dsp_preset> one;
  one.append(entry);
  entries_.insert_from(position, one);
}

void dsp_chain::remove_mask(const qiv::bit_array& mask) {
  qiv::bit_array keep(entries_.get_count());
  for (std::uint32_t i = 0; i < entries_.get_count(); ++i) keep.set(i, !mask.get(i));
  entries_.keep_by_mask(keep);
}

void dsp_chain::read(dsp_chain& chain, byte_stream_reader& source, const abort_signal& abort) {
  chain.remove_all();
  const std::uint32_t count = source.read_u32(abort);
  // An entry takes at least its GUID and its size field.
  source.require_remaining(std::uint64_t(count) * 20);
  for (std::uint32_t i = 0; i < count; ++i) {
    dsp_preset entry;
    entry.set_guid(source.read_guid(abort));
    const std::uint32_t size = source.read_u32(abort);
    if (size > dsp_preset::max_data_size) source.throw_data_error();
    entry.read_data(source, size, abort);
    chain.add_item(entry);
  }
}

void dsp_chain::write(const dsp_chain& chain, byte_stream_writer& target, const abort_signal& abort) {
  target.write_u32(chain.get_count(), abort);
  for (std::uint32_t i = 0; i < chain.get_count(); ++i) {
    const dsp_preset& entry = chain.get_item(i);
    target.write_guid(entry.get_guid(), abort);
    const std::uint32_t size = entry.get_data_size();
    target.write_u32(size, abort);
    if (size != 0) target.write(entry.get_data(), size, abort);
  }
}
