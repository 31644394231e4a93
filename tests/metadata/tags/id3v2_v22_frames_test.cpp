// A version 2.2 tag edited: it is written back as version 2.3 with every
// frame under its later form, and a frame that has none refuses the edit.
#include "metadata/tags/id3v2_v22_frames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "id3v2_test_bytes.h"
#include "metadata/tags/id3v2_reader.h"
#include "metadata/tags/id3v2_tag_service.h"
#include "metadata/tags/id3v2_text_encoding.h"
#include "metadata/track_info.h"

using namespace id3v2_test;

namespace {

id3parser::tag read_tag(const bytes& data) {
  id3parser::memory_reader source(data.data(), data.size());
  id3parser::accept_all_frames all;
  id3parser::tag t;
  id3parser::read_tag(source, all, t);
  return t;
}

// The tag as the editor reads it, retitled and written back.
id3parser::tag retitled(const bytes& v22) {
  const id3parser::tag old = read_tag(v22);
  track_info_impl info;
  id3v2_tag_to_info(old, info);
  info.set_field("title", track_info::until_nul, "New", track_info::until_nul);
  const std::vector<std::uint8_t> written = id3v2_render(old, 0, info).bytes;
  return read_tag(bytes(written.begin(), written.end()));
}

const bytes nul{0};

struct carried_frame {
  const char* v22;
  const char* later;
  bytes payload;
};

// The frames of the version 2.2 list and those taggers added to it, each
// with a payload in its own layout.
const carried_frame carried[] = {
    {"BUF", "RBUF", bytes{0, 0, 16, 0}},
    {"CNT", "PCNT", bytes{0, 0, 0, 7}},
    {"COM", "COMM", latin("eng") + text("note") + nul + text("a comment")},
    {"CRA", "AENC", text("owner") + nul + bytes{0, 0, 0, 0, 1}},
    {"EQU", "EQUA", bytes{16, 0x80, 0x40, 0, 2}},
    {"ETC", "ETCO", bytes{2, 3, 0, 0, 0, 9}},
    {"GEO", "GEOB", latin("text/plain") + nul + text("a.txt") + nul + text("object") + nul + text("data")},
    {"GP1", "GRP1", latin("Group")},
    {"IPL", "IPLS", latin("producer") + nul + text("Someone") + nul},
    {"MCI", "MCDI", bytes{1, 2, 3, 4}},
    {"MLL", "MLLT", bytes{0, 1, 0, 0, 0, 1, 0, 0, 1, 8, 8, 0x11}},
    {"MVI", "MVIN", latin("2")},
    {"MVN", "MVNM", latin("Allegro")},
    {"POP", "POPM", text("someone@example.org") + nul + bytes{128, 0, 0, 0, 4}},
    {"REV", "RVRB", bytes(12, 1)},
    {"RVA", "RVAD", bytes{3, 16, 0, 8, 0, 8}},
    {"SLT", "SYLT", latin("eng") + bytes{2, 1, 0} + text("la") + nul + bytes{0, 0, 0, 5}},
    {"STC", "SYTC", bytes{2, 120, 0, 0, 0, 0}},
    {"TAL", "TALB", latin("Album")},
    {"TBP", "TBPM", latin("120")},
    {"TCM", "TCOM", latin("Composer")},
    {"TCO", "TCON", latin("(17)")},
    {"TCP", "TCMP", latin("1")},
    {"TCR", "TCOP", latin("2001 Someone")},
    {"TDA", "TDAT", latin("0305")},
    {"TDY", "TDLY", latin("100")},
    {"TEN", "TENC", latin("Encoder")},
    {"TFT", "TFLT", latin("MPG/3")},
    {"TIM", "TIME", latin("1230")},
    {"TKE", "TKEY", latin("Am")},
    {"TLA", "TLAN", latin("eng")},
    {"TLE", "TLEN", latin("1000")},
    {"TMT", "TMED", latin("CD")},
    {"TOA", "TOPE", latin("Original Artist")},
    {"TOF", "TOFN", latin("old.wav")},
    {"TOL", "TOLY", latin("Original Lyricist")},
    {"TOR", "TORY", latin("1970")},
    {"TOT", "TOAL", latin("Original Album")},
    {"TP1", "TPE1", latin("Artist")},
    {"TP2", "TPE2", latin("Band")},
    {"TP3", "TPE3", latin("Conductor")},
    {"TP4", "TPE4", latin("Remixer")},
    {"TPA", "TPOS", latin("1/2") + nul},
    {"TPB", "TPUB", latin("Publisher")},
    {"TRC", "TSRC", latin("USABC0100001")},
    {"TRD", "TRDA", latin("March 5")},
    {"TRK", "TRCK", latin("3/12") + nul},
    {"TS2", "TSO2", latin("Band, The")},
    {"TSA", "TSOA", latin("Album, The")},
    {"TSC", "TSOC", latin("Composer, A")},
    {"TSI", "TSIZ", latin("4000")},
    {"TSP", "TSOP", latin("Artist, An")},
    {"TSS", "TSSE", latin("Settings")},
    {"TST", "TSOT", latin("Title, A")},
    {"TT1", "TIT1", latin("Group")},
    {"TT3", "TIT3", latin("Subtitle")},
    {"TXT", "TEXT", latin("Lyricist")},
    {"TXX", "TXXX", latin("MOOD") + nul + text("calm")},
    {"TYE", "TYER", latin("2001")},
    {"UFI", "UFID", text("http://example.org") + nul + text("id")},
    {"ULT", "USLT", latin("eng") + nul + text("the lyrics")},
    {"WAF", "WOAF", text("http://example.org/file")},
    {"WAR", "WOAR", text("http://example.org/artist")},
    {"WAS", "WOAS", text("http://example.org/source")},
    {"WCM", "WCOM", text("http://example.org/buy")},
    {"WCP", "WCOP", text("http://example.org/copyright")},
    {"WPB", "WPUB", text("http://example.org/publisher")},
    {"WXX", "WXXX", latin("shop") + nul + text("http://example.org/shop")},
};

std::string id_text(std::uint32_t id) {
  return {char(id >> 24), char(id >> 16), char(id >> 8), char(id)};
}

TEST(Id3v2VersionTwoPointTwo, AnEditCarriesEveryFrameOverToItsLaterForm) {
  bytes frames = frame22("TT2", latin("Old"));
  for (const carried_frame& c : carried) frames = frames + frame22(c.v22, c.payload);
  // Pictures and links change their layout with their identifier.
  frames = frames + frame22("PIC", bytes{0} + text("PNG") + bytes{3} + nul + bytes{0x89, 'P'}) +
           frame22("LNK", text("TT1") + text("http://example.org/link") + nul);
  const id3parser::tag written = retitled(tag(2, frames));
  ASSERT_EQ(3u, written.version);
  std::vector<std::string> missing;
  for (const carried_frame& c : carried) {
    const bool kept = std::any_of(written.frames.begin(), written.frames.end(), [&](const id3parser::frame& f) {
      return id_text(f.id) == c.later && bytes(f.data.begin(), f.data.end()) == c.payload;
    });
    if (!kept) missing.push_back(c.v22);
  }
  EXPECT_TRUE(missing.empty()) << "not carried over: " << ::testing::PrintToString(missing);
  std::vector<std::string> ids;
  for (const id3parser::frame& f : written.frames) ids.push_back(id_text(f.id));
  EXPECT_EQ(1, std::count(ids.begin(), ids.end(), "TIT2"));
  EXPECT_EQ(std::size(carried) + 3, ids.size());
  const bytes picture = latin("image/png") + bytes{0, 3, 0, 0x89, 'P'};
  const bytes link = text("TIT1") + text("http://example.org/link") + nul;
  for (const id3parser::frame& f : written.frames) {
    const bytes payload(f.data.begin(), f.data.end());
    if (id_text(f.id) == "APIC") {
      EXPECT_EQ(picture, payload);
    } else if (id_text(f.id) == "LINK") {
      EXPECT_EQ(link, payload);
    } else if (id_text(f.id) == "TIT2") {
      EXPECT_EQ("New", id3v2_text_value(f, 0, false));
    }
  }
}

TEST(Id3v2VersionTwoPointTwo, AFrameWithNoLaterFormRefusesTheEdit) {
  const bytes encrypted_meta = text("owner") + nul + text("about") + nul + bytes{1, 2, 3};
  const bytes cases[] = {
      tag(2, frame22("TT2", latin("Old")) + frame22("CRM", encrypted_meta)),
      tag(2, frame22("XYZ", latin("unknown")) + frame22("TT2", latin("Old"))),
      tag(2, frame22("TT2", latin("Old")) + frame22("LNK", text("XYZ") + text("http://example.org") + nul)),
  };
  for (const bytes& v22 : cases) EXPECT_THROW(retitled(v22), exception_id3v22_frame_not_kept);
  try {
    retitled(cases[0]);
  } catch (const exception_id3v22_frame_not_kept& e) {
    EXPECT_NE(nullptr, std::strstr(e.what(), "CRM")) << e.what();
  }
}

}  // namespace
