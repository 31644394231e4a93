#include "metadata/tags/comment_entries.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "io/io_exceptions.h"
#include "io/memory_writer.h"
#include "metadata/tags/comment_block.h"
#include "metadata/tags/tag_changes.h"
#include "metadata/track_info.h"

namespace {

using entries = std::vector<std::string>;

// As a reading of these entries gives them: aliases folded, gains aside.
track_info_impl read(const entries& stored) {
  track_info_impl info;
  for (const std::string& entry : stored) {
    const std::size_t equals = entry.find('=');
    if (equals == std::string::npos || entry.compare(0, 22, "METADATA_BLOCK_PICTURE") == 0) continue;
    const std::string name = comment_name_from_storage(entry.substr(0, equals).c_str());
    const std::string value = entry.substr(equals + 1);
    if (info.try_set_replaygain(name.c_str(), value.c_str())) continue;
    const std::uint32_t field = info.find_field(name.c_str());
    if (field == track_info::not_found) info.set_field(name.c_str(), name.size(), value.data(), value.size());
    else info.add_field_value(field, value.c_str());
  }
  return info;
}

entries after(const entries& stored, const track_info& to_write) {
  return comment_entries_after(stored, tag_changes::between(read(stored), to_write).all(), to_write);
}

const entries sample = {"Zeta=z", "artist=A1", "METADATA_BLOCK_PICTURE=AAAA", "ALBUMARTIST=AA", "no equals sign",
                        "ARTIST=A2", "REPLAYGAIN_TRACK_GAIN=-3.5 dB", "Title=t"};

TEST(CommentEntries, AnEditThatChangesNothingKeepsEveryEntryAsItIs) {
  track_info_impl same = read(sample);
  EXPECT_EQ(after(sample, same), sample);
  // Removing a field the block does not hold.
  EXPECT_TRUE(tag_changes::between(read(sample), same).empty());
}

TEST(CommentEntries, AChangedFieldTakesTheFirstPlaceOfItsEntriesAndTheOthersStay) {
  track_info_impl info = read(sample);
  info.set_field("ARTIST", 6, "B", 1);
  EXPECT_EQ(after(sample, info), (entries{"Zeta=z", "ARTIST=B", "METADATA_BLOCK_PICTURE=AAAA", "ALBUMARTIST=AA",
                                          "no equals sign", "REPLAYGAIN_TRACK_GAIN=-3.5 dB", "Title=t"}));
}

TEST(CommentEntries, AliasesRemovalsNewFieldsAndGainsGoWhereTheyBelong) {
  track_info_impl info = read(sample);
  info.set_field("ALBUM ARTIST", 12, "New AA", 6);
  qiv::bit_array zeta(info.field_count());
  zeta.set(info.find_field("Zeta"), true);
  info.remove_fields(zeta);
  info.set_field("comment", 7, "c", 1);
  info.set_field("genre", 5, "g", 1);
  replaygain_info gain = info.get_replaygain();
  gain.track_gain = -4.0f;
  gain.album_gain = 1.0f;
  info.set_replaygain(gain);
  EXPECT_EQ(after(sample, info),
            (entries{"artist=A1", "METADATA_BLOCK_PICTURE=AAAA", "ALBUMARTIST=New AA", "no equals sign", "ARTIST=A2",
                     "replaygain_track_gain=-4.00 dB", "Title=t", "comment=c", "genre=g",
                     "replaygain_album_gain=+1.00 dB"}));
}

TEST(CommentEntries, BlocksParseAndWriteBackByteForByte) {
  comment_block_contents contents{"vendor", sample};
  vantrel_io::memory_writer out;
  comment_block_write_contents(contents, "\x03vorbis", 7, true, out, never_raised_abort_signal());
  const std::string bytes(reinterpret_cast<const char*>(out.get_ptr()), out.get_size());
  const comment_block_contents parsed = comment_block_parse(bytes.data() + 7, std::uint32_t(bytes.size() - 7));
  EXPECT_EQ(parsed.vendor, "vendor");
  EXPECT_EQ(parsed.entries, sample);
  std::string damaged = bytes.substr(7, 14) + std::string("\xFF\xFF\xFF\x0F", 4);
  EXPECT_THROW(comment_block_parse(damaged.data(), std::uint32_t(damaged.size())), exception_comment_block_damaged);
}

TEST(CommentEntries, ACountOrLengthPastTheBlockIsDamageAndBytesBehindTheEntriesAreNot) {
  const std::string vendor("\x01\0\0\0v", 5);
  const std::string one_entry = std::string("\x01\0\0\0", 4) + std::string("\x03\0\0\0a=b", 7);
  const std::string shapes[] = {
      vendor + std::string("\x02\0\0\0", 4) + one_entry.substr(4) + std::string("\x03\0\0\0", 4),  // count
      vendor + std::string("\x01\0\0\0", 4) + std::string("\x09\0\0\0a=b", 7),                    // length
      std::string("\x40\0\0\0v", 5) + one_entry,                                                   // vendor
  };
  for (const std::string& shape : shapes)
    EXPECT_THROW(comment_block_parse(shape.data(), std::uint32_t(shape.size())), exception_comment_block_damaged);
  const std::string framed = vendor + one_entry + "\x01";
  EXPECT_EQ(comment_block_parse(framed.data(), std::uint32_t(framed.size())).entries, std::vector<std::string>{"a=b"});
}

}  // namespace
