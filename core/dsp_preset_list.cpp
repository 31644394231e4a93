#include "core/dsp_preset_list.h"

void dsp_preset_list::read(dsp_preset_list& list, byte_stream_reader& source, const abort_signal& abort) {
  list.remove_all();
  try {
    const std::uint32_t count = source.read_u32(abort);
    // Each preset takes at least its name length and its entry count: a
    // count the record cannot hold is damage, found before any preset.
    source.require_remaining(std::uint64_t(count) * 8);
    for (std::uint32_t i = 0; i < count; ++i) {
      qiv::ref_ptr<dsp_named_preset> preset(new dsp_named_preset);
      source.read_length_prefixed_string(preset->name, abort);
      dsp_chain::read(preset->chain, source, abort);
      list.add_item(preset.get());
    }
  } catch (...) {
    list.remove_all();
    throw;
  }
}

void dsp_preset_list::write(const dsp_preset_list& list, byte_stream_writer& target, const abort_signal& abort) {
  target.write_u32(list.get_count(), abort);
  for (std::uint32_t i = 0; i < list.get_count(); ++i) {
    const dsp_named_preset& preset = list.get_item(i);
    target.write_length_prefixed_string(preset.name.get_ptr(), abort);
    dsp_chain::write(preset.chain, target, abort);
  }
}
