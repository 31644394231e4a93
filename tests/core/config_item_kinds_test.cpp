#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "core/config_item_kinds.h"
#include "foundation/string_buffer.h"
#include "support/byte_stream_buffers.h"

namespace {

using namespace test_support;

constexpr GUID item_guid = {0x11111111, 0x2222, 0x3333, {4, 4, 4, 4, 4, 4, 4, 4}};

template <class Item>
bytes written(Item& item) {
  vector_writer out;
  item.write(out, no_abort());
  return out.data;
}

template <class Item>
void read_record(Item& item, const bytes& record) {
  vector_reader in(record);
  item.read(in, static_cast<std::uint32_t>(record.size()), no_abort());
}

config_item* list = nullptr;  // keeps the test items out of the process's list

// A record read and written back. Defaults, a whole-record text and a text
// list claiming two billion entries go through the config.dat of zorv.exe.
TEST(ConfigItemKinds, RecordsReadBackAsTheyWereWritten) {
  config_bool flag(item_guid, true, &list);
  config_text text(item_guid, "%title%", &list);
  config_locked_text locked(item_guid, "ARTIST\nTITLE", &list);
  config_text_list texts(item_guid, &list);
  const struct {
    const char* why;
    config_item& item;
    bytes record;
    bytes written_back;
  } cases[] = {
      {"false is a zero byte", flag, bytes{0}, bytes{0}},
      {"any non-zero byte reads as true", flag, bytes{0x7F}, bytes{1}},
      {"an empty record is empty text", text, bytes{}, bytes{}},
      {"locked text alike", locked, bytes{'X'}, bytes{'X'}},
      {"text lists in order, empty entries kept", texts, concat({u32_bytes({2, 3}), bytes{'a', 'b', 'c'}, u32_bytes({0})}),
       concat({u32_bytes({2, 3}), bytes{'a', 'b', 'c'}, u32_bytes({0})})},
  };
  for (const auto& c : cases) {
    read_record(c.item, c.record);
    EXPECT_EQ(written(c.item), c.written_back) << c.why;
  }
}

TEST(ConfigItemKinds, ShortFixedSizeRecordsAreRejectedAndTheValueKept) {
  config_bool flag(item_guid, true, &list);
  EXPECT_THROW(read_record(flag, bytes{}), test_data_error);
  EXPECT_TRUE(flag.get());
  config_int32 number(item_guid, -1, &list);
  EXPECT_THROW(read_record(number, bytes{1, 2, 3}), test_data_error);
  EXPECT_EQ(number.get(), -1);
}

TEST(ConfigItemKinds, GuidSetsAreWrittenInAscendingByteOrderAndADamagedCountKeepsTheSet) {
  config_guid_set item(item_guid, &list);
  const GUID high = {0x00000001, 0, 0, {}};  // first byte 01
  const GUID low = {0x00000100, 0, 0, {}};   // first byte 00
  item.value().insert(high);
  item.value().insert(low);
  const bytes expected = concat({u32_bytes({2}), guid_memory_bytes(low), guid_memory_bytes(high)});
  EXPECT_EQ(written(item), expected);

  EXPECT_THROW(read_record(item, concat({u32_bytes({0x10000000}), bytes(16, 0xAB)})), test_data_error);
  EXPECT_EQ(written(item), expected);
}

TEST(ConfigItemKinds, DamagedTextListLengthsAreRejectedBeforeAllocatingAndTheListKept) {
  config_text_list item(item_guid, &list);
  item.value().append(qiv::string_small("C:\\Music"));

  vector_reader huge_length(concat({u32_bytes({1, 0x40000000}), bytes{'x'}}));
  EXPECT_THROW(item.read(huge_length, 9, no_abort()), test_data_error);
  EXPECT_EQ(huge_length.largest_read(), 4u);

  const bytes second_cut = concat({u32_bytes({2, 1}), bytes{'a'}, u32_bytes({5}), bytes{'b'}});
  EXPECT_THROW(read_record(item, second_cut), test_data_error);

  ASSERT_EQ(item.value().get_count(), 1u);
  EXPECT_STREQ(item.value()[0].get_ptr(), "C:\\Music");
}

std::vector<std::int32_t> fields_of(const window_position& p) {
  return {p.width, p.height, p.x, p.y, p.dpi_x, p.dpi_y};
}

// Six values in their order; a record cut after two values falls back to an
// unset place, and an implausible one to the default placement.
TEST(ConfigItemKinds, WindowPositionsReadSixValuesAndRejectImplausibleOnes) {
  config_window_position item(item_guid, &list);
  read_record(item, u32_bytes({1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(fields_of(item.value()), (std::vector<std::int32_t>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(written(item), u32_bytes({1, 2, 3, 4, 5, 6}));
  read_record(item, concat({u32_bytes({7, 8}), bytes{1, 2, 3}}));
  EXPECT_EQ(fields_of(item.value()), (std::vector<std::int32_t>{7, 8, INT32_MIN, INT32_MIN, 0, 0}));
  EXPECT_THROW(read_record(item, u32_bytes({9})), test_data_error);

  const std::vector<std::int32_t> unset = fields_of(window_position{});
  const struct {
    const char* why;
    std::initializer_list<std::uint32_t> record;
  } implausible[] = {
      {"zero width", {0, 300, 10, 10, 96, 96}},
      {"negative height other than unset", {400, 0xFFFFFFFE, 10, 10, 96, 96}},
      {"a width beyond any screen", {0x7FFFFFFF, 300, 10, 10, 96, 96}},
      {"an offset that would overflow a coordinate", {400, 300, 0x7FFFFFF0, 10, 96, 96}},
      {"a negative DPI", {400, 300, 10, 10, 0xFFFFFFA0, 96}},
  };
  for (const auto& c : implausible) {
    read_record(item, u32_bytes({1, 2, 3, 4, 5, 6}));
    read_record(item, u32_bytes(c.record));
    EXPECT_EQ(fields_of(item.value()), unset) << c.why;
  }
  read_record(item, u32_bytes({0xFFFFFFFF, 0xFFFFFFFF, 0x80000000, 0x80000000, 0, 0}));
  EXPECT_EQ(fields_of(item.value()), unset) << "the stored default reads back";
}

std::vector<float> gain_fields(const playback_gain_settings& s) {
  return {float(s.source_mode), float(s.processing_mode), s.preamp_without_info_db, s.preamp_with_info_db};
}

bytes float_bytes(float value) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, 4);
  return u32_bytes({bits});
}

// Mode, processing, preamp without and with information, byte for byte; a
// preamp that is not a number or a record of another length gives the
// default settings.
TEST(ConfigItemKinds, PlaybackGainRecordsAreSixteenBytesWithFiniteNumbers) {
  config_playback_gain item(item_guid, playback_gain_settings{}, &list);
  EXPECT_EQ(written(item), concat({u32_bytes({2, 1}), float_bytes(0.0f), float_bytes(0.0f)}));
  const bytes track_mode = concat({u32_bytes({1, 2}), float_bytes(-3.5f), float_bytes(6.0f)});
  read_record(item, track_mode);
  EXPECT_EQ(gain_fields(item.get()), (std::vector<float>{1, 2, -3.5f, 6.0f}));
  EXPECT_EQ(written(item), track_mode);

  const std::vector<float> defaults = gain_fields(playback_gain_settings{});
  for (const bytes& bad : {concat({u32_bytes({1, 1}), float_bytes(NAN), float_bytes(0.0f)}),
                           concat({u32_bytes({1, 1}), float_bytes(0.0f), float_bytes(-INFINITY)}),
                           concat({track_mode, bytes{0}}), u32_bytes({1, 1, 0})}) {
    read_record(item, track_mode);
    read_record(item, bad);
    EXPECT_EQ(gain_fields(item.get()), defaults);
  }
}

} // namespace
