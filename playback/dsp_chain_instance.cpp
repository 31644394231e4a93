#include "playback/dsp_chain_instance.h"

#include "core/service_registry.h"
#include "foundation/exceptions.h"

bool find_dsp_effect_type(const GUID& guid, service_ptr<dsp_effect_type>& out) {
  for (const service_ptr<dsp_effect_type>& type : service_list_t<dsp_effect_type>()) {
    if (type->get_guid() == guid) {
      out = type;
      return true;
    }
  }
  return false;
}

void dsp_chain_instance::set_chain(const dsp_chain& chain) {
  chain_.remove_all();
  for (std::uint32_t i = 0; i < chain.get_count(); ++i) chain_.add_item(chain.get_item(i));
  changed_ = true;
}

void dsp_chain_instance::reset() {
  running_.clear();
  changed_ = true;
}

double dsp_chain_instance::run_node(node& n, audio_block_list& blocks, track_handle* item, std::uint32_t flags,
                                    const abort_signal& abort) {
  blocks.remove_if([](const audio_block& block) { return !block.is_valid(); });
  if (service_ptr<dsp_instance_abortable> abortable = service_query<dsp_instance_abortable>(n.instance.get()))
    abortable->run_abortable(blocks, item, flags, abort);
  else
    n.instance->run(blocks, item, flags);
  return n.instance->get_latency();
}

// Instances are kept across a change only when the chain kept its types in
// order and at most one entry's settings changed: the common edit of one
// effect must not cut the others' state.
double dsp_chain_instance::rebuild(audio_block_list& blocks, track_handle* item, std::uint32_t flags,
                                   std::size_t marker, const abort_signal& abort) {
  std::vector<node> candidates;
  std::vector<service_ptr<dsp_effect_type>> types;
  for (std::uint32_t i = 0; i < chain_.get_count(); ++i) {
    service_ptr<dsp_effect_type> type;
    if (!find_dsp_effect_type(chain_.get_item(i).get_guid(), type)) continue;
    candidates.push_back(node{{}, chain_.get_item(i), false});
    types.push_back(type);
  }
  if (candidates.size() == running_.size()) {
    std::size_t other_types = 0, other_presets = 0;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
      if (candidates[i].preset.get_guid() != running_[i].preset.get_guid()) ++other_types;
      else if (!candidates[i].preset.equals(running_[i].preset)) ++other_presets;
    }
    if (other_types == 0 && other_presets <= 1) {
      for (std::size_t i = 0; i < candidates.size(); ++i) {
        if (!candidates[i].preset.equals(running_[i].preset)) continue;
        candidates[i].instance = running_[i].instance;
        running_[i].kept = true;
      }
    }
  }
  for (std::size_t i = 0; i < candidates.size(); ++i)
    if (!candidates[i].instance && !types[i]->instantiate(candidates[i].instance, candidates[i].preset))
      throw qiv::exception_bug_check_v2();
  // The old instances play out what they hold; the new ones start with the
  // next batch.
  double latency = 0.0;
  for (std::size_t i = 0; i < running_.size(); ++i) {
    const bool cut = !running_[i].kept || i < marker;
    latency += run_node(running_[i], blocks, item, cut ? flags | dsp_flush : flags, abort);
  }
  running_ = std::move(candidates);
  changed_ = false;
  return latency;
}

double dsp_chain_instance::run(audio_block_list& blocks, track_handle* item, std::uint32_t flags,
                               const abort_signal& abort) {
  std::size_t marker = 0;
  if ((flags & dsp_end_of_track) && !(flags & dsp_flush)) {
    for (std::size_t i = running_.size(); i-- > 0;) {
      if (running_[i].instance->wants_track_change_mark()) {
        marker = i;
        break;
      }
    }
  }
  double latency = 0.0;
  bool ran = false;
  if (changed_) {
    ran = !running_.empty();
    latency = rebuild(blocks, item, flags, marker, abort);
  }
  if (!ran)
    for (std::size_t i = 0; i < running_.size(); ++i)
      latency += run_node(running_[i], blocks, item, i < marker ? flags | dsp_flush : flags, abort);
  blocks.remove_if([](const audio_block& block) { return !block.is_valid(); });
  return latency;
}

void dsp_chain_instance::flush(const abort_signal& abort) {
  audio_block_list nothing;
  for (node& n : running_) run_node(n, nothing, nullptr, dsp_flush, abort);
}
