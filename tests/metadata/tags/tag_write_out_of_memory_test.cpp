// Tag writes in which one allocation fails, each one in turn: the write
// fails with the file as it was, or it succeeds and every value stands once.
// An allocation that fails is never taken for a frame or an item the
// program cannot read.
#include <gtest/gtest.h>

#include <string>

#include "id3v2_test_bytes.h"
#include "metadata/tags/apev2.h"
#include "metadata/tags/id3v2_tag_service.h"
#include "metadata/tags/tag_services.h"
#include "metadata/tags/trailing_tags.h"
#include "metadata/track_info.h"
#include "tests/io/io_test_support.h"
#include "tests/support/allocation_failures.h"
#include "track_fields_text.h"

namespace {

using allocation_failures::plan;
using io_test::memory_file_with;
using io_test::memory_rewrite;
using namespace id3v2_test;

std::string str(const bytes& b) { return std::string(b.begin(), b.end()); }

const std::string audio = std::string(3000, '\x55') + "\xFF\xFB audio";

class TagWriteOutOfMemory : public ::testing::Test {
protected:
  void SetUp() override {
    (void)&find_trailing_tags;
    (void)&id3v2_read_tag_from_file;
    io_test::build_registry();
  }

  static std::string fields_of(const std::string& content) {
    vantrel_io::file_ptr file = memory_file_with(content);
    track_info_impl info;
    tag_services::read(*file, info, never_raised_abort_signal());
    return track_fields_text(info);
  }

  // Sets the title of `original`'s tags of `kinds` with allocation 1, 2, 3
  // ... failing in turn, until a write meets no failure; each result reads
  // as that of a write without failures does.
  static void check_every_failure(const char* why, const std::string& original, unsigned kinds,
                                  const std::string& title) {
    track_info_impl info;
    {
      vantrel_io::file_ptr file = memory_file_with(original);
      tag_services::read(*file, info, never_raised_abort_signal());
    }
    info.set_field("title", track_info::until_nul, title.c_str(), track_info::until_nul);
    std::string wanted;
    {
      vantrel_io::file_ptr file = memory_file_with(original);
      memory_rewrite rewrite;
      tag_services::write(file, rewrite, kinds, info, never_raised_abort_signal());
      wanted = fields_of(io_test::read_all(rewrite.made ? *rewrite.made : *file));
      ASSERT_NE(std::string::npos, wanted.find("=" + title + ";")) << why;
    }
    for (const plan kind : {plan{0, 1, false}, plan{0, 2, false}, plan{0, 1, true}})
      check_every_failure(why, original, kinds, info, wanted, kind);
  }

  static void check_every_failure(const char* why, const std::string& original, unsigned kinds,
                                  const track_info& info, const std::string& wanted, plan kind) {
    int failures = 0;
    for (long failing = 1;; ++failing) {
      vantrel_io::file_ptr file = memory_file_with(original);
      memory_rewrite rewrite;
      plan failing_plan = kind;
      failing_plan.first = failing;
      allocation_failures::arm(failing_plan);
      bool written = true;
      try {
        tag_services::write(file, rewrite, kinds, info, never_raised_abort_signal());
      } catch (const std::exception&) {
        written = false;
      }
      allocation_failures::disarm();
      if (!allocation_failures::met) {
        ASSERT_TRUE(written) << why;
        break;
      }
      if (!written) {
        ++failures;
        ASSERT_TRUE(io_test::read_all(*file) == original) << why << ": allocation " << failing << " failed, run "
                                                   << kind.run << ", larger too " << kind.larger_too;
        continue;
      }
      const std::string result = io_test::read_all(rewrite.made ? *rewrite.made : *file);
      ASSERT_EQ(wanted, fields_of(result)) << why << ": allocation " << failing << " failed, run " << kind.run
                                           << ", larger too " << kind.larger_too;
    }
    EXPECT_GT(failures, 0) << why;
  }
};

std::string many_values(int count) {
  std::string values;
  for (int i = 0; i < count; ++i) values += std::string(i ? "\0" : "", i ? 1 : 0) + char('A' + i % 26);
  return values;
}

TEST_F(TagWriteOutOfMemory, AnId3v2EditFailsWithTheFileUnchangedOrWritesEachFrameOnce) {
  const bytes frames = frame("TIT2", bytes{3} + text("Old"), true) +
                       frame("TPE1", bytes{3} + text(many_values(40)), true) +
                       frame("TXXX", bytes{3} + text(std::string("MOOD\0calm", 9)), true) +
                       frame("COMM", bytes{3} + text(std::string("eng\0a comment", 13)), true);
  check_every_failure("in its room", str(tag(4, frames + bytes(64, 0))) + audio, tag_services::kind_id3v2, "New");
  check_every_failure("rewritten", str(tag(4, frames)) + audio, tag_services::kind_id3v2, "A longer title");
}

TEST_F(TagWriteOutOfMemory, AnApev2EditFailsWithTheFileUnchangedOrWritesEachItemOnce) {
  const std::string items = str(apev2::render_tag({{false, 0, "Title", "Old"},
                                                   {false, 0, "Artist", many_values(40)},
                                                   {false, 0, "Mood", "calm"}},
                                                  true));
  check_every_failure("APEv2 alone", audio + items, tag_services::kind_apev2, "New title");
}

}  // namespace
