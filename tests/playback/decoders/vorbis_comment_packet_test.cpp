// The Vorbis comment header as the decoder reads it: entries of any bytes
// kept whole, every way a header can be cut or overstate a length refused,
// and the stand-in for libvorbis keeping the vendor alone.
#include "playback/decoders/vorbis_comment_packet.h"

#include <gtest/gtest.h>

namespace {

using bytes = std::vector<std::uint8_t>;

void put_u32(bytes& out, std::uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}
void put_text(bytes& out, const std::string& text) {
  put_u32(out, static_cast<std::uint32_t>(text.size()));
  out.insert(out.end(), text.begin(), text.end());
}
bytes header(const std::string& vendor, const std::vector<std::string>& entries, std::uint8_t framing = 1) {
  bytes out{3, 'v', 'o', 'r', 'b', 'i', 's'};
  put_text(out, vendor);
  put_u32(out, static_cast<std::uint32_t>(entries.size()));
  for (const std::string& entry : entries) put_text(out, entry);
  out.push_back(framing);
  return out;
}

TEST(VorbisCommentPacket, ReadsEveryEntryWholeAndKeepsOnlyTheVendorForTheLibrary) {
  const std::string picture = "METADATA_BLOCK_PICTURE=" + std::string(70000, 'A');
  const std::string binary("X=\0\xFF\x01", 5);
  const bytes packet = header("Xiph.Org libVorbis", {"TITLE=Song", picture, binary});
  vorbis_comment_packet read;
  ASSERT_TRUE(read.parse(packet.data(), packet.size()));
  EXPECT_EQ(read.vendor, "Xiph.Org libVorbis");
  EXPECT_EQ(read.entries, (std::vector<std::string>{"TITLE=Song", picture, binary}));
  EXPECT_EQ(read.without_entries(), header("Xiph.Org libVorbis", {}));
}

TEST(VorbisCommentPacket, TextOnlyLeavesPicturesOutAndJudgesThePacketAlike) {
  const std::string picture = "METADATA_BLOCK_PICTURE=" + std::string(70000, 'A');
  const bytes packet = header("v", {"TITLE=Song", picture, "coverart=AAAA", "ARTIST=After"});
  vorbis_comment_packet read;
  ASSERT_TRUE(read.parse(packet.data(), packet.size(), vorbis_comment_packet::entry_choice::text_only));
  EXPECT_EQ(read.entries, (std::vector<std::string>{"TITLE=Song", "ARTIST=After"}));
  for (std::size_t cut = 0; cut < packet.size(); cut += 997)
    EXPECT_FALSE(read.parse(packet.data(), cut, vorbis_comment_packet::entry_choice::text_only)) << cut;
}

TEST(VorbisCommentPacket, RefusesWhatLibvorbisRefuses) {
  const bytes good = header("v", {"A=1", "B=2"});
  vorbis_comment_packet read;
  for (std::size_t cut = 0; cut < good.size(); ++cut)
    EXPECT_FALSE(read.parse(good.data(), cut)) << "cut to " << cut << " bytes";
  EXPECT_FALSE(read.parse(header("v", {"A=1"}, 0).data(), header("v", {"A=1"}, 0).size())) << "no framing bit";
  bytes other_type = good;
  other_type[0] = 1;
  EXPECT_FALSE(read.parse(other_type.data(), other_type.size()));
  bytes many = header("v", {});
  many[12] = 0xFF;  // the entry count, far beyond what the packet holds
  EXPECT_FALSE(read.parse(many.data(), many.size()));
  bytes long_entry = good;
  long_entry[16] = 0x7F;  // the first entry's length
  EXPECT_FALSE(read.parse(long_entry.data(), long_entry.size()));
  EXPECT_TRUE(read.parse(good.data(), good.size()));
}

}  // namespace
