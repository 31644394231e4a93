#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "core/service_registry.h"
#include "playback/dsp_chain_instance.h"

namespace {

constexpr GUID type_a = {0x1A2B3C4D, 0x0001, 0x0001, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr GUID type_b = {0x1A2B3C4D, 0x0002, 0x0002, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr GUID unregistered = {0x1A2B3C4D, 0x0003, 0x0003, {1, 2, 3, 4, 5, 6, 7, 8}};

int instances_created = 0;

// Multiplies every sample by its preset's first byte and holds 10 ms back.
class gain_instance : public dsp_instance {
public:
  float gain = 1.0f;
  void run(audio_block_list& blocks, track_handle*, std::uint32_t) override {
    for (std::uint32_t b = 0; b < blocks.get_count(); ++b) {
      audio_block& block = blocks.get(b);
      for (std::uint32_t i = 0; i < block.get_sample_count() * block.get_channels(); ++i) block.get_data()[i] *= gain;
    }
  }
  double get_latency() override { return 0.01; }
  bool wants_track_change_mark() override { return false; }
};

template <const GUID& Type>
class gain_type : public dsp_effect_type {
public:
  bool instantiate(service_ptr<dsp_instance>& out, const dsp_preset& preset) override {
    service_ptr<gain_instance> instance(new service_counted<gain_instance>());
    instance->gain = static_cast<const std::uint8_t*>(preset.get_data())[0];
    out = instance.get();
    ++instances_created;
    return true;
  }
  GUID get_guid() override { return Type; }
};
service_factory_single_t<gain_type<type_a>> type_a_registration;
service_factory_single_t<gain_type<type_b>> type_b_registration;

using entries = std::vector<std::pair<GUID, std::uint8_t>>;

dsp_chain chain_of(const entries& list) {
  dsp_chain chain;
  for (const auto& [type, gain] : list) {
    dsp_preset preset;
    preset.set_guid(type);
    preset.set_data(&gain, 1);
    chain.add_item(preset);
  }
  return chain;
}

// One block of a single sample 1.0; the answer is the sample after the chain.
float run_once(dsp_chain_instance& instance, double& latency) {
  audio_block_list blocks;
  const float one = 1.0f;
  blocks.insert_new(0).set_data(&one, 1, 1, 48000, 0x4);
  blocks.insert_new(1);  // empty: cannot reach the output
  latency = instance.run(blocks, nullptr, 0, never_raised_abort_signal());
  EXPECT_EQ(blocks.get_count(), 1u) << "the invalid block is removed";
  return blocks.get_count() ? blocks.get(0).get_data()[0] : -1.0f;
}

struct rebuild_case {
  const char* why;
  entries before, after;
  int created;       // instances created for `after`
  float sample;      // the sample after the `after` chain
  double latency;
};

TEST(DspChainInstance, RebuildKeepsInstancesOnlyForASingleSettingsChange) {
  service_registry::table().build(service_factory::global_list_head);
  const rebuild_case cases[] = {
      {"unregistered types pass the blocks through", {}, {{unregistered, 5}}, 0, 1.0f, 0.0},
      {"one changed setting keeps the other instance", {{type_a, 2}, {type_b, 3}}, {{type_a, 2}, {type_b, 5}}, 1,
       10.0f, 0.02},
      {"two changed settings recreate everything", {{type_a, 2}, {type_b, 3}}, {{type_a, 4}, {type_b, 5}}, 2, 20.0f,
       0.02},
      {"swapped types recreate everything", {{type_a, 2}, {type_b, 3}}, {{type_b, 3}, {type_a, 2}}, 2, 6.0f, 0.02},
  };
  for (const rebuild_case& c : cases) {
    dsp_chain_instance instance;
    double latency;
    instance.set_chain(chain_of(c.before));
    run_once(instance, latency);
    instances_created = 0;
    instance.set_chain(chain_of(c.after));
    run_once(instance, latency);  // the old instances play out this batch
    const float sample = run_once(instance, latency);
    EXPECT_EQ(instances_created, c.created) << c.why;
    EXPECT_EQ(sample, c.sample) << c.why;
    EXPECT_DOUBLE_EQ(latency, c.latency) << c.why;
  }
}

}  // namespace
