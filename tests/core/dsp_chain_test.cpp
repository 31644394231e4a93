// The stored form of DSP chains and what a damaged chain leaves behind.
#include <gtest/gtest.h>

#include "core/dsp_chain.h"
#include "support/byte_stream_buffers.h"

namespace {

using namespace test_support;

const abort_signal& no_abort = never_raised_abort_signal();
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

TEST(DspChain, AnEmptyChainIsFourZeroBytes) {
  dsp_chain chain;
  vector_writer out;
  dsp_chain::write(chain, out, no_abort);
  EXPECT_EQ(out.data, u32_bytes({0}));
}

TEST(DspChain, EntriesRoundTripInChainOrder) {
  dsp_chain chain;
  chain.add_item(make_entry(limiter, {1, 2, 3}));
  chain.add_item(make_entry(equaliser, {}));
  vector_writer out;
  dsp_chain::write(chain, out, no_abort);
  EXPECT_EQ(out.data, concat({u32_bytes({2}), stored_entry(limiter, {1, 2, 3}), stored_entry(equaliser, {})}));

  dsp_chain back;
  back.add_item(make_entry(equaliser, {9}));  // replaced, not appended to
  vector_reader in(out.data);
  dsp_chain::read(back, in, no_abort);
  ASSERT_EQ(back.get_count(), 2u);
  EXPECT_TRUE(back.get_item(0).equals(chain.get_item(0)));
  EXPECT_TRUE(back.get_item(1).equals(chain.get_item(1)));
}

TEST(DspChain, AnOversizedThirdEntryKeepsTheFirstTwo) {
  const bytes record = concat({u32_bytes({3}), stored_entry(equaliser, {1}), stored_entry(limiter, {2, 2}),
                               guid_memory_bytes(equaliser), u32_bytes({0x2000001}), bytes(16, 0)});
  dsp_chain chain;
  vector_reader in(record);
  EXPECT_THROW(dsp_chain::read(chain, in, no_abort), test_data_error);
  ASSERT_EQ(chain.get_count(), 2u);
  EXPECT_TRUE(chain.get_item(1).equals(make_entry(limiter, {2, 2})));
}

TEST(DspChain, ASizeBeyondTheRecordFailsBeforeTheBytesAreAllocated) {
  const bytes record = concat({u32_bytes({1}), guid_memory_bytes(equaliser), u32_bytes({0x1000000}), bytes{1, 2}});
  dsp_chain chain;
  vector_reader in(record);
  EXPECT_THROW(dsp_chain::read(chain, in, no_abort), test_data_error);
  EXPECT_EQ(chain.get_count(), 0u);
  EXPECT_LE(in.largest_read(), 16u);
}

TEST(DspChain, EditingKeepsTheOrderOfTheOtherEntries) {
  dsp_chain chain;
  chain.add_item(make_entry(equaliser, {1}));
  chain.add_item(make_entry(equaliser, {3}));
  chain.insert_item(make_entry(limiter, {2}), 1);
  chain.insert_item(make_entry(limiter, {4}), 99);
  qiv::bit_array mask(4);
  mask.set(0, true);
  mask.set(2, true);
  chain.remove_mask(mask);
  ASSERT_EQ(chain.get_count(), 2u);
  EXPECT_TRUE(chain.get_item(0).equals(make_entry(limiter, {2})));
  EXPECT_TRUE(chain.get_item(1).equals(make_entry(limiter, {4})));
}

} // namespace
