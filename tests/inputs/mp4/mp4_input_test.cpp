// The MP4 input's tag writing as the player meets it: what a refused write
// tells the user.
#include "inputs/mp4/mp4_input.h"

#include <gtest/gtest.h>

#include "core/localized_text.h"
#include "core/service_factory.h"
#include "core/service_registry.h"
#include "io/io_exceptions.h"
#include "io/memory_file.h"
#include "mp4_test_boxes.h"

using namespace mp4_test;

namespace {

vantrel_io::file_ptr file_holding(const bytes& content) {
  vantrel_io::file_ptr file = vantrel_io::make_memory_file();
  file->write(content.data(), std::uint32_t(content.size()), never_raised_abort_signal());
  return file;
}

TEST(Mp4Input, ARefusedWriteGivesItsReasonInTheUsersLanguage) {
  service_registry::table().build(service_factory::global_list_head);
  localized_text::set("exception_mp4_write_refused", "Refusé ({reason})");
  localized_text::set("mp4_refused_media_cut", "coupé dans ses données");
  const bytes moov = box("moov", mvhd(1000, 93) + simple_track());
  const bytes cut_media = ftyp() + moov + be32(4000) + "mdat" + bytes(100, 'x');
  std::string message;
  try {
    tarnex::mp4_input input;
    input.open(file_holding(cut_media), "", open_reason::info_write, never_raised_abort_signal());
  } catch (const vantrel_io::exception_io_data& refused) {
    message = refused.what();
  }
  localized_text::clear();
  EXPECT_EQ(message, "Refusé (coupé dans ses données)");
}

}  // namespace
