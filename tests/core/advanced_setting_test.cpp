#include "core/advanced_setting.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>

#include "core/service_registry.h"
#include "foundation/crash.h"
#include "foundation/main_thread.h"
#include "foundation/string_buffer.h"
#include "foundation/thread.h"

namespace {

constexpr GUID test_parent = {0x20000000, 0x0000, 0x0000, {0, 0, 0, 0, 0, 0, 0, 1}};
constexpr GUID test_branch = {0x20000000, 0x0000, 0x0000, {0, 0, 0, 0, 0, 0, 0, 2}};

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

TEST(AdvancedSettingString, KeepsTheGivenLengthAndResetsToItsDefault) {
  qiv::set_main_thread_id(0);
  service_factory* list = nullptr;
  advanced_setting_string entry(test_parent, "Text", "1.0", 0.0, &list);
  entry.set_state("2.5dB", 3);
  EXPECT_EQ(state_of(entry), "2.5");
  EXPECT_EQ(validated(entry, "any text"), "any text");
  entry.reset();
  EXPECT_EQ(state_of(entry), "1.0");
}

// Every entry is found under advanced_setting and answers the interface of
// its kind, old and new, and no other kind's.
TEST(AdvancedSettingEntries, AnswerTheInterfacesOfTheirKind) {
  service_factory* list = nullptr;
  advanced_setting_branch branch(test_branch, test_parent, "Branch", &list);
  advanced_setting_checkbox box("Box", test_branch, &list);
  advanced_setting_string text(test_branch, "Text", "", 0.0, &list);
  advanced_setting_integer number(test_branch, "Number", 1, 0, 2, 0.0, &list);
  service_registry_table table;
  table.build(list);
  const service_class_entry* entries = table.find_class(advanced_setting::class_guid);
  ASSERT_NE(entries, nullptr);
  EXPECT_EQ(entries->count, 4u);

  constexpr GUID old_checkbox = {0x5243ABA4, 0x2A3D, 0x4627, {0x88, 0xEF, 0xCE, 0xE3, 0x76, 0x1C, 0x07, 0x9C}};
  constexpr GUID old_text = {0x185D582D, 0xFBD8, 0x4DB3, {0xBE, 0x23, 0x47, 0xAA, 0xC6, 0x75, 0xFC, 0x11}};
  const struct {
    service_object& entry;
    bool branch, checkbox, text;  // the kinds it answers, old interfaces included
  } cases[] = {
      {branch, true, false, false}, {box, false, true, false}, {text, false, false, true}, {number, false, false, true}};
  for (const auto& c : cases) {
    auto answers = [&](const GUID& guid) {
      service_handle out;
      return c.entry.query(out, guid) && out.get() == &c.entry;
    };
    EXPECT_TRUE(answers(advanced_setting::class_guid));
    EXPECT_EQ(answers(advanced_setting_branch_interface::class_guid), c.branch);
    EXPECT_EQ(answers(advanced_setting_checkbox_interface::class_guid), c.checkbox);
    EXPECT_EQ(answers(old_checkbox), c.checkbox);
    EXPECT_EQ(answers(advanced_setting_text_interface::class_guid), c.text);
    EXPECT_EQ(answers(old_text), c.text);
  }
  EXPECT_FALSE(text.is_integer());
  EXPECT_TRUE(number.is_integer());
  // Static entries are never counted.
  EXPECT_EQ(box.add_ref(), 1);
  EXPECT_EQ(box.release(), 1);
}

constexpr const char* short_value = "short";
constexpr const char* long_value = "a much longer text that makes the entry reallocate its storage on every change";

// Reads the entry over and over while the main thread changes it.
class string_reader final : public qiv::thread {
public:
  explicit string_reader(const advanced_setting_string& entry) : entry_(entry) {}
  ~string_reader() override { wait_till_done(); }

  std::atomic<bool> stop{false};
  std::atomic<int> reads{0};
  std::atomic<int> torn_reads{0};

protected:
  void run() override {
    qiv::string_buffer text;
    while (!stop.load()) {
      entry_.get_state(text);
      const std::string seen = text.get_ptr();
      if (seen != short_value && seen != long_value) ++torn_reads;
      ++reads;
    }
  }

private:
  const advanced_setting_string& entry_;
};

TEST(AdvancedSettingString, OtherThreadsReadWholeValuesWhileTheMainThreadChangesIt) {
  qiv::set_main_thread_id(GetCurrentThreadId());
  service_factory* list = nullptr;
  advanced_setting_string entry(test_parent, "Text", short_value, 0.0, &list);
  string_reader reader(entry);
  reader.start();
  for (int i = 0; i < 200000 || reader.reads.load() < 100; ++i)
    set_text(entry, i % 2 ? short_value : long_value);
  reader.stop = true;
  reader.wait_till_done();
  qiv::set_main_thread_id(0);
  EXPECT_EQ(reader.torn_reads.load(), 0);
}

constexpr int seen_by_crash_handler = 42;

LONG CALLBACK crash_handler_stand_in(EXCEPTION_POINTERS* info) {
  if (info->ExceptionRecord->ExceptionCode == qiv::crash_exception_code) ExitProcess(seen_by_crash_handler);
  return EXCEPTION_CONTINUE_SEARCH;
}

class string_writer final : public qiv::thread {
public:
  explicit string_writer(advanced_setting_string& entry) : entry_(entry) {}
  ~string_writer() override { wait_till_done(); }

protected:
  void run() override { set_text(entry_, "from elsewhere"); }

private:
  advanced_setting_string& entry_;
};

TEST(AdvancedSettingStringDeathTest, ChangingItOffTheMainThreadStopsTheProgram) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        AddVectoredExceptionHandler(1, crash_handler_stand_in);
        qiv::set_main_thread_id(GetCurrentThreadId());
        service_factory* list = nullptr;
        advanced_setting_string entry(test_parent, "Text", "", 0.0, &list);
        string_writer writer(entry);
        writer.start();
        writer.wait_till_done();
        ExitProcess(0);
      },
      testing::ExitedWithCode(seen_by_crash_handler), "");
}

} // namespace
