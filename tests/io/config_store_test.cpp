// The configuration store against real files: what damaged payloads leave
// of the settings, and saves that fail or reset.
#include <gtest/gtest.h>

#include <string>

#include "core/app_state.h"
#include "core/config_item_kinds.h"
#include "core/font_record.h"
#include "io/config_store.h"
#include "io/io_exceptions.h"
#include "io_test_support.h"
#include "support/byte_stream_buffers.h"

namespace {

using test_support::bytes;
using test_support::concat;
using test_support::guid_memory_bytes;
using test_support::u32_bytes;
using vantrel_io::config_store;

constexpr GUID volume_guid = {0x8815239B, 0xFDF3, 0x4DD8, {0xB6, 0xE2, 0xE4, 0x83, 0x4E, 0x83, 0x76, 0x1C}};
constexpr GUID pattern_guid = {0xF402A43D, 0xB1F6, 0x451A, {0x8E, 0x42, 0x03, 0xE4, 0x60, 0x70, 0x30, 0xE8}};
constexpr GUID font_guid = {0x1F0E2D3C, 0x4B5A, 0x6978, {0x87, 0x96, 0xA5, 0xB4, 0xC3, 0xD2, 0xE1, 0x0F}};

bytes record(const GUID& guid, const bytes& value) {
  return concat({guid_memory_bytes(guid), u32_bytes({static_cast<std::uint32_t>(value.size())}), value});
}

bytes text(const std::string& value) { return bytes(value.begin(), value.end()); }

void read_payload(config_store& store, const bytes& payload) {
  vantrel_io::memory_reader reader(payload.data(), static_cast<std::uint32_t>(payload.size()));
  store.read_payload(reader, io_test::no_abort());
}

class ConfigStore : public ::testing::Test {
protected:
  void SetUp() override {
    io_test::build_registry();
    app::state().profile_path.set_string(folder.file_url().c_str());
    app::state().quiet = true;  // a prompt would wait for a user forever
  }
  std::string config_path() const { return folder.path("config.dat"); }

  io_test::scratch_folder folder;
  config_item* items = nullptr;
  config_float volume{volume_guid, 0.0f, &items};
  config_text pattern{pattern_guid, "%title%", &items};
  service_single_instance<config_store> store{&items};
};

TEST_F(ConfigStore, PayloadsCutShortApplyTheWholeRecordsBeforeTheCut) {
  const struct {
    const char* why;
    bytes payload;
    const char* pattern_after;
  } cases[] = {
      {"a size field cut short", concat({record(pattern_guid, text("%album%")), guid_memory_bytes(volume_guid), bytes{4, 0}}),
       "%album%"},
      {"a record cut off by the end", concat({guid_memory_bytes(pattern_guid), u32_bytes({20}), text("%album%")}),
       "%title%"},
  };
  for (const auto& c : cases) {
    pattern.set("%title%");
    EXPECT_THROW(read_payload(store, c.payload), vantrel_io::exception_io_data) << c.why;
    EXPECT_EQ(volume.get(), 0.0f) << c.why;
    EXPECT_STREQ(pattern.get(), c.pattern_after) << c.why;
  }
}

TEST_F(ConfigStore, AStoredFontNameAlwaysEndsWithinItsArray) {
  config_font font{font_guid, font_record{}, &items};
  font_record stored;
  for (wchar_t& unit : stored.face_name) unit = L'W';
  const auto* raw = reinterpret_cast<const std::uint8_t*>(&stored);
  read_payload(store, record(font_guid, bytes(raw, raw + sizeof(stored))));
  EXPECT_EQ(std::wstring(font.get().face_name), std::wstring(LF_FACESIZE - 1, L'W'));
}

TEST_F(ConfigStore, AFailedSaveIsTriedAgainAtTheNextSaveAndResetDeletesTheFile) {
  store.save(false);
  const std::string saved = io_test::read_file(config_path());
  SetFileAttributesW(io_test::wide(config_path()).c_str(), FILE_ATTRIBUTE_READONLY);
  volume.set(-6.0f);
  store.save(false);  // refused: the file stays as it was, silently
  EXPECT_EQ(io_test::read_file(config_path()), saved);

  SetFileAttributesW(io_test::wide(config_path()).c_str(), FILE_ATTRIBUTE_NORMAL);
  store.save_now();
  volume.set(0.0f);
  store.load();
  EXPECT_EQ(volume.get(), -6.0f);

  store.save(true);
  EXPECT_FALSE(io_test::exists(config_path()));
  store.save(true);  // nothing to delete is no failure
  volume.set(0.0f);
  store.load();
  EXPECT_EQ(volume.get(), 0.0f);
}

}  // namespace
