#include <gtest/gtest.h>

#include "core/service_registry.h"
#include "foundation/main_thread.h"
#include "metadata/track_handle_registry.h"
#include "playback/item_opener.h"
#include "support/signal_input.h"

namespace {

service_factory_single_t<signal_test::signal_input> signal_input_registration;

struct open_step {
  const char* path;
  bool throws;
  int opens;              // files opened by this step
  const char* held_path;  // what the holder reads afterwards ("" for nothing)
};

struct sequence_case {
  const char* why;
  std::vector<open_step> steps;
};

class ItemOpener : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    qiv::set_main_thread_id(GetCurrentThreadId());
    service_registry::table().build(service_factory::global_list_head);
    signal_test::signal_table& table = signal_test::signal_table::get();
    table.set("C:\\a.sig", {});
    table.set("C:\\A.sig", {});
    table.set("C:\\b.sig", {});
    table.set("C:\\broken.sig", {0, 48000, true, true});
    table.set("C:\\bad-info.sig", {0, 48000, true, false, replaygain_info::gain_absent, 1});
    table.set("C:\\denied-info.sig", {0, 48000, true, false, replaygain_info::gain_absent, 2});
  }
};

TEST_F(ItemOpener, DecoderIsKeptOnlyForTheSameFile) {
  const sequence_case cases[] = {
      {"a second subsong of the same file reuses the decoder", {{"C:\\a.sig", false, 1, "C:\\a.sig"},
                                                                {"C:\\a.sig", false, 0, "C:\\a.sig"}}},
      {"paths differing in case are different files", {{"C:\\a.sig", false, 1, "C:\\a.sig"},
                                                       {"C:\\A.sig", false, 1, "C:\\A.sig"}}},
      {"after a failed open the same path opens afresh", {{"C:\\a.sig", false, 1, "C:\\a.sig"},
                                                          {"C:\\broken.sig", true, 0, ""},
                                                          {"C:\\a.sig", false, 1, "C:\\a.sig"}}},
      {"damaged info only costs the refresh: the file is opened again and plays",
       {{"C:\\bad-info.sig", false, 2, "C:\\bad-info.sig"}}},
      // The new decoder must not stay under the old path, or the next item
      // of that path would play this file.
      {"another failure of the info refresh leaves the holder empty", {{"C:\\a.sig", false, 1, "C:\\a.sig"},
                                                                      {"C:\\denied-info.sig", true, 1, ""},
                                                                      {"C:\\a.sig", false, 1, "C:\\a.sig"}}},
  };
  for (const sequence_case& c : cases) {
    decoder_holder holder;
    for (const open_step& step : c.steps) {
      const int before = signal_test::signal_table::get().opens;
      const track_handle_ptr item = track_handle_registry::get_handle(track_location(step.path, 0));
      bool threw = false;
      try {
        open_item_for_decoding(holder, {}, *item, 4, never_raised_abort_signal());
      } catch (const std::exception&) {
        threw = true;
      }
      EXPECT_EQ(threw, step.throws) << c.why << ": " << step.path;
      EXPECT_EQ(signal_test::signal_table::get().opens - before, step.opens) << c.why << ": " << step.path;
      EXPECT_EQ(holder.path(), step.held_path) << c.why << ": " << step.path;
      EXPECT_EQ(holder.get() != nullptr, *step.held_path != '\0') << c.why << ": " << step.path;
    }
  }
}

}  // namespace
