#include "core/dsp_chain.h"

#include <gtest/gtest.h>

#include "core/dsp_preset_list.h"
#include "support/byte_stream_buffers.h"

namespace {

using namespace test_support;

constexpr GUID equaliser = {0xAAAA0001, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr GUID limiter = {0xBBBB0002, 0x3333, 0x4444, {8, 7, 6, 5, 4, 3, 2, 1}};

dsp_preset make_entry(const GUID& owner, const bytes& data) {
  dsp_preset entry;
  entry.set_guid(owner);
  entry.set_data(data.data(), static_cast<std::uint32_t>(data.size()));
  return entry;
}

bytes stored_entry(const GUID& owner, const bytes& data) {
  return concat({guid_memory_bytes(owner), u32_bytes({static_cast<std::uint32_t>(data.size())}), data});
}

bytes chain_bytes(const dsp_chain& chain) {
  vector_writer out;
  dsp_chain::write(chain, out, no_abort());
  return out.data;
}

TEST(DspChain, EntriesRoundTripInChainOrder) {
  dsp_chain chain;
  EXPECT_EQ(chain_bytes(chain), u32_bytes({0}));
  chain.add_item(make_entry(limiter, {1, 2, 3}));
  chain.add_item(make_entry(equaliser, {}));
  const bytes stored = chain_bytes(chain);
  EXPECT_EQ(stored, concat({u32_bytes({2}), stored_entry(limiter, {1, 2, 3}), stored_entry(equaliser, {})}));
  dsp_chain back;
  back.add_item(make_entry(equaliser, {9}));  // replaced, not appended to
  vector_reader in(stored);
  dsp_chain::read(back, in, no_abort());
  EXPECT_EQ(chain_bytes(back), stored);
}

// A damaged entry keeps those before it, and its size is checked against
// the record before anything is allocated.
TEST(DspChain, ADamagedEntryKeepsTheEntriesBeforeIt) {
  const struct {
    const char* why;
    bytes record;
    std::uint32_t kept;
  } cases[] = {
      {"third entry oversized", concat({u32_bytes({3}), stored_entry(equaliser, {1}), stored_entry(limiter, {2, 2}),
                                        guid_memory_bytes(equaliser), u32_bytes({0x2000001}), bytes(16, 0)}), 2},
      {"size beyond the record", concat({u32_bytes({1}), guid_memory_bytes(equaliser), u32_bytes({0x1000000}),
                                         bytes{1, 2}}), 0},
  };
  for (const auto& c : cases) {
    dsp_chain chain;
    vector_reader in(c.record);
    EXPECT_THROW(dsp_chain::read(chain, in, no_abort()), test_data_error) << c.why;
    EXPECT_EQ(chain.get_count(), c.kept) << c.why;
    EXPECT_LE(in.largest_read(), 16u) << c.why;
  }
}

TEST(DspPresetList, PresetsRoundTripWithTheirChains) {
  const bytes stored = concat({u32_bytes({2}),                                                 //
                               u32_bytes({4}), bytes{'R', 'o', 'c', 'k'}, u32_bytes({1}),       //
                               guid_memory_bytes(equaliser), u32_bytes({2}), bytes{7, 8},       //
                               u32_bytes({0}), u32_bytes({0})});
  dsp_preset_list list;
  vector_reader in(stored);
  dsp_preset_list::read(list, in, no_abort());
  ASSERT_EQ(list.get_count(), 2u);
  EXPECT_STREQ(list.get_item(0).name.get_ptr(), "Rock");
  vector_writer out;
  dsp_preset_list::write(list, out, no_abort());
  EXPECT_EQ(out.data, stored);
}

TEST(DspPresetList, ADamagedRecordLeavesTheListEmptyAndAllocatesNothingItClaims) {
  const struct {
    const char* why;
    bytes record;
    std::size_t largest_read;
  } cases[] = {
      {"cut inside the second preset", concat({u32_bytes({2}), u32_bytes({1}), bytes{'A'}, u32_bytes({0}),
                                                u32_bytes({1}), bytes{'B'}, u32_bytes({1}), bytes{1, 2}}), 16},
      {"a name longer than the record", concat({u32_bytes({1}), u32_bytes({0x7FFFFFFF}), bytes{'x'}}), 4},
      {"more presets than the record can hold", concat({u32_bytes({0x40000000}), u32_bytes({1}), bytes{'A'},
                                                         u32_bytes({0})}), 4},
      {"a chain of more entries than the record holds",
       concat({u32_bytes({1}), u32_bytes({1}), bytes{'A'}, u32_bytes({0x10000000}), guid_memory_bytes(equaliser)}), 4},
  };
  for (const auto& c : cases) {
    dsp_preset_list list;
    qiv::ref_ptr<dsp_named_preset> old(new dsp_named_preset);
    list.add_item(old.get());
    vector_reader in(c.record);
    EXPECT_THROW(dsp_preset_list::read(list, in, no_abort()), test_data_error) << c.why;
    EXPECT_EQ(list.get_count(), 0u) << c.why;
    EXPECT_LE(in.largest_read(), c.largest_read) << c.why;
  }
}

} // namespace
