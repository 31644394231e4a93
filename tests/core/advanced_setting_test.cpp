#include "core/advanced_setting.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include "core/service_factory.h"
#include "foundation/main_thread.h"
#include "foundation/string_buffer.h"

namespace {

constexpr GUID test_parent = {0x20000000, 0x0000, 0x0000, {0, 0, 0, 0, 0, 0, 0, 1}};

std::string state_of(const advanced_setting_text_interface& entry) {
  qiv::string_buffer text;
  entry.get_state(text);
  return text.get_ptr();
}

std::string validated(const advanced_setting_text_interface& entry, const char* text) {
  qiv::string_buffer buffer(text);
  entry.validate(buffer);
  return buffer.get_ptr();
}

void set_text(advanced_setting_text_interface& entry, const char* text) { entry.set_state(text, qiv::until_nul); }

// Stored, validated and shown text of an integer entry from 5 to 10000.
TEST(AdvancedSettingInteger, TextIsClampedToTheRangeWhetherStoredOrValidated) {
  service_factory* list = nullptr;
  advanced_setting_integer entry(test_parent, "n", 50, 5, 10000, 0.0, &list);
  const struct {
    const char* text;
    std::size_t length;
    const char* stored;
    const char* why;
  } cases[] = {
      {"20000", qiv::until_nul, "10000", "above the range"},
      {"3", qiv::until_nul, "5", "below the range"},
      {"-20", qiv::until_nul, "5", "no number at all reads as 0"},
      {"", qiv::until_nul, "5", "empty reads as 0"},
      {"18446744073709551616", qiv::until_nul, "10000", "too long for 64 bits is huge, not its wrapped 0"},
      {"12345", 3, "123", "only the given length counts"},
      {"250 ms", qiv::until_nul, "250", "only the leading digits count"},
  };
  for (const auto& c : cases) {
    const std::string text(c.text, c.length == qiv::until_nul ? std::strlen(c.text) : c.length);
    EXPECT_EQ(validated(entry, text.c_str()), c.stored) << c.why;
    EXPECT_EQ(state_of(entry), "50") << c.why << ": validating changes nothing stored";
    entry.set_state(c.text, c.length);
    EXPECT_EQ(state_of(entry), c.stored) << c.why;
    entry.reset();
  }
}

constexpr const char* short_value = "short";
constexpr const char* long_value = "a much longer text that makes the entry reallocate its storage on every change";

TEST(AdvancedSettingString, OtherThreadsReadWholeValuesWhileTheMainThreadChangesIt) {
  qiv::set_main_thread_id(GetCurrentThreadId());
  service_factory* list = nullptr;
  advanced_setting_string entry(test_parent, "Text", short_value, 0.0, &list);
  std::atomic<bool> stop{false};
  std::atomic<int> reads{0}, torn_reads{0};
  std::thread reader([&] {
    qiv::string_buffer text;
    for (; !stop.load(); ++reads) {
      entry.get_state(text);
      if (std::string(text.get_ptr()) != short_value && std::string(text.get_ptr()) != long_value) ++torn_reads;
    }
  });
  for (int i = 0; i < 200000 || reads.load() < 100; ++i) set_text(entry, i % 2 ? short_value : long_value);
  stop = true;
  reader.join();
  qiv::set_main_thread_id(0);
  EXPECT_EQ(torn_reads.load(), 0);
}

} // namespace
