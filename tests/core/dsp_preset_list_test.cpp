// The stored form of the DSP preset list: all of it loads, or none.
#include <gtest/gtest.h>

#include "core/dsp_preset_list.h"
#include "support/byte_stream_buffers.h"

namespace {

using namespace test_support;

const abort_signal& no_abort = never_raised_abort_signal();
constexpr GUID equaliser = {0xAAAA0001, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 8}};

TEST(DspPresetList, APresetIsItsNameThenItsChain) {
  dsp_preset_list list;
  qiv::ref_ptr<dsp_named_preset> preset(new dsp_named_preset);
  preset->name.set_string("abc");
  list.add_item(preset.get());
  vector_writer out;
  dsp_preset_list::write(list, out, no_abort);
  EXPECT_EQ(out.data, concat({u32_bytes({1}), bytes{3, 0, 0, 0, 'a', 'b', 'c', 0, 0, 0, 0}}));
}

TEST(DspPresetList, PresetsRoundTripWithTheirChains) {
  const bytes stored = concat({u32_bytes({2}),                                                 //
                               u32_bytes({4}), bytes{'R', 'o', 'c', 'k'}, u32_bytes({1}),       //
                               guid_memory_bytes(equaliser), u32_bytes({2}), bytes{7, 8},       //
                               u32_bytes({0}), u32_bytes({0})});
  dsp_preset_list list;
  vector_reader in(stored);
  dsp_preset_list::read(list, in, no_abort);
  ASSERT_EQ(list.get_count(), 2u);
  EXPECT_STREQ(list.get_item(0).name.get_ptr(), "Rock");
  EXPECT_EQ(list.get_item(0).chain.get_count(), 1u);
  EXPECT_STREQ(list.get_item(1).name.get_ptr(), "");
  vector_writer out;
  dsp_preset_list::write(list, out, no_abort);
  EXPECT_EQ(out.data, stored);
}

TEST(DspPresetList, ARecordCutInsideTheSecondPresetLeavesTheListEmpty) {
  const bytes cut = concat({u32_bytes({2}), u32_bytes({1}), bytes{'A'}, u32_bytes({0}),  //
                            u32_bytes({1}), bytes{'B'}, u32_bytes({1}), bytes{1, 2}});
  dsp_preset_list list;
  qiv::ref_ptr<dsp_named_preset> old(new dsp_named_preset);
  list.add_item(old.get());
  vector_reader in(cut);
  EXPECT_THROW(dsp_preset_list::read(list, in, no_abort), test_data_error);
  EXPECT_EQ(list.get_count(), 0u);
}

TEST(DspPresetList, ANameLongerThanTheRecordIsRejectedBeforeAllocating) {
  const bytes record = concat({u32_bytes({1}), u32_bytes({0x7FFFFFFF}), bytes{'x'}});
  dsp_preset_list list;
  vector_reader in(record);
  EXPECT_THROW(dsp_preset_list::read(list, in, no_abort), test_data_error);
  EXPECT_EQ(in.largest_read(), 4u);
}

} // namespace
