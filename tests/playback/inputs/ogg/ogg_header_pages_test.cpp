// Header pages of an Ogg stream: refilled where the old pages stand, or laid
// out anew with the comment's text on a last page within one page of the
// file, wherever the stream starts.
#include "playback/inputs/ogg/ogg_header_pages.h"

#include <gtest/gtest.h>

#include <ogg/ogg.h>

#include <cstring>
#include <string>
#include <vector>

#include "io/memory_writer.h"

namespace {

struct page_seen {
  std::size_t offset;
  std::size_t size;
  std::string body;
  bool continued;
  std::int64_t granulepos;
};

// Every page, checked by libogg (capture pattern and checksum).
std::vector<page_seen> pages_of(const std::uint8_t* data, std::size_t size) {
  ogg_sync_state sync;
  ogg_sync_init(&sync);
  char* buffer = ogg_sync_buffer(&sync, long(size));
  std::memcpy(buffer, data, size);
  ogg_sync_wrote(&sync, long(size));
  std::vector<page_seen> pages;
  std::size_t offset = 0;
  ogg_page page;
  int answer;
  while ((answer = ogg_sync_pageout(&sync, &page)) != 0) {
    EXPECT_EQ(answer, 1) << "no damaged page";
    const std::size_t page_size = std::size_t(page.header_len + page.body_len);
    pages.push_back({offset, page_size, std::string(reinterpret_cast<char*>(page.body), page.body_len),
                     ogg_page_continued(&page) != 0, ogg_page_granulepos(&page)});
    offset += page_size;
  }
  ogg_sync_clear(&sync);
  return pages;
}

ogg_header_packet packet_of(const std::string& bytes, bool flush) {
  ogg_header_packet packet;
  packet.bytes.assign(bytes.begin(), bytes.end());
  packet.flush_after = flush;
  return packet;
}

// An identification packet, a comment of 100 KB of picture and then
// `text` bytes of text, and a setup packet.
std::vector<ogg_header_packet> stream_packets(std::size_t text) {
  std::string picture(100000, 'p');
  for (std::size_t i = 0; i < picture.size(); i += 97) picture[i] = char(i);
  return {packet_of("ident", true), packet_of(picture + std::string(text, 't'), false),
          packet_of(std::string(3000, 's'), true)};
}

}  // namespace

TEST(OggHeaderPages, TheTextPageLiesWithinOnePageOfTheFileWhereverTheStreamStarts) {
  for (std::size_t text : {40u, 700u, 1500u}) {
    for (std::uint64_t offset = 0; offset < 4096; offset += 61) {
      std::vector<ogg_header_packet> packets = stream_packets(text);
      const ogg_comment_layout layout{1, 100000, 512, 2048};
      vantrel_io::memory_writer out;
      const std::uint32_t count =
          ogg_lay_out_header_pages(packets, layout, offset, 5, 0, out, never_raised_abort_signal());
      const std::vector<page_seen> pages = pages_of(out.get_ptr(), out.get_size());
      ASSERT_EQ(pages.size(), count);
      // The identification page, the comment's pages, the setup's page.
      EXPECT_EQ(pages.front().body, "ident");
      EXPECT_EQ(pages.back().body, std::string(3000, 's'));
      EXPECT_FALSE(pages.back().continued) << "the setup packet starts a page of its own";
      const page_seen& text_page = pages[pages.size() - 2];
      const std::uint64_t start = offset + text_page.offset;
      EXPECT_EQ(start / 4096, (start + text_page.size - 1) / 4096)
          << "text " << text << ", stream at " << offset << ": the text page crosses a page of the file";
      EXPECT_NE(text_page.body.find(std::string(text, 't')), std::string::npos);
      EXPECT_GE(packets[1].bytes.size(), 100000 + text + 512) << "the comment keeps room behind its text";
      EXPECT_EQ(text_page.granulepos, 0);
      std::string comment;
      for (std::size_t i = 1; i + 1 < pages.size(); ++i) comment += pages[i].body;
      EXPECT_EQ(comment, std::string(packets[1].bytes.begin(), packets[1].bytes.end()));
    }
  }
}

TEST(OggHeaderPages, RefilledPagesKeepTheirPlacesAndChecksumsStayRight) {
  std::vector<ogg_header_packet> packets = stream_packets(300);
  vantrel_io::memory_writer out;
  ogg_lay_out_header_pages(packets, {1, 100000, 512, 2048}, 0, 5, 0, out, never_raised_abort_signal());
  std::vector<std::uint8_t> pages(out.get_ptr(), out.get_ptr() + out.get_size());
  const std::vector<std::uint8_t> old = pages;

  std::vector<std::uint8_t>& comment = packets[1].bytes;
  std::memcpy(comment.data() + 100000, "edited", 6);
  ASSERT_TRUE(ogg_refill_header_pages(pages, packets));
  ASSERT_EQ(pages.size(), old.size());
  const std::vector<page_seen> seen = pages_of(pages.data(), pages.size());
  const std::vector<page_seen> before = pages_of(old.data(), old.size());
  ASSERT_EQ(seen.size(), before.size());
  std::size_t changed = 0;
  for (std::size_t i = 0; i < seen.size(); ++i) changed += seen[i].body != before[i].body;
  EXPECT_EQ(changed, 1u) << "only the text page changes";

  comment.push_back(0);
  EXPECT_FALSE(ogg_refill_header_pages(pages, packets)) << "a packet of another size does not fill the old pages";
}
