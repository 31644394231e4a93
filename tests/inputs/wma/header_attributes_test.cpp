// The attribute mapping both ways, against a stand-in for the runtime's
// header interface (Wine enumerates no attributes and has no editor).
#include "inputs/wma/header_attributes.h"

#include <gtest/gtest.h>

#include <string>

#include "fake_header_info.h"
#include "io/io_exceptions.h"

namespace {

std::string values_of(const track_info& info, const char* field) {
  const std::uint32_t index = info.find_field(field);
  if (index == track_info::not_found) return "<none>";
  std::string out;
  for (std::uint32_t i = 0; i < info.field_value_count(index); ++i) out += (i ? "|" : "") + std::string(info.field_value(index, i));
  return out;
}

void add(track_info& info, const char* field, const char* value) {
  const std::uint32_t index = info.find_field(field);
  if (index == track_info::not_found) info.set_field(field, qiv::until_nul, value, qiv::until_nul);
  else info.add_field_value(index, value);
}

std::string message_of_write(fake_header_info& header, const track_info& info) {
  try {
    wma::write_attributes(header, info);
  } catch (const vantrel_io::exception_io& failure) {
    return failure.what();
  }
  return "";
}

TEST(WmaAttributesRead, MapsTheTableCustomFieldsReplayGainAndBitrateAndSkipsTheRest) {
  fake_header_info header;
  header.attributes = {
      text_attribute(L"Title", L"Night"),
      text_attribute(L"author", L"First"),  // names compare without ASCII case
      text_attribute(L"Author", L"Second"),
      text_attribute(L"WM/AlbumTitle", L"Album", false),  // no terminator: the byte length bounds it
      text_attribute(L"Description", std::wstring(L"cut\0tail", 8)),
      text_attribute(L"WM/Year", L""),
      text_attribute(L"WM/OriginalReleaseYear", L"1971"),
      text_attribute(L"WM/PartOfSet", L"2/3"),
      text_attribute(L"vantrel/my field", L"mine"),
      text_attribute(L"Vantrel/other", L"prefix is exact"),
      text_attribute(L"WM/EncodingSettings", L"ignored"),
      text_attribute(L"replaygain_track_gain", L"-6.50 dB"),
      text_attribute(L"REPLAYGAIN_ALBUM_PEAK", L"0.5"),
      dword_attribute(L"Bitrate", 127500),
      dword_attribute(L"WM/SharedUserRating", 50),
      fake_attribute{L"WM/Composer", WMT_TYPE_QWORD, std::vector<BYTE>(8, 1)},
  };
  track_info_impl info;
  wma::read_attributes(header, 0, info);
  EXPECT_EQ(values_of(info, "title"), "Night");
  EXPECT_EQ(values_of(info, "artist"), "First|Second");
  EXPECT_EQ(values_of(info, "album"), "Album");
  EXPECT_EQ(values_of(info, "comment"), "cut");
  EXPECT_EQ(values_of(info, "date"), "<none>");
  EXPECT_EQ(values_of(info, "original release date"), "1971");
  EXPECT_EQ(values_of(info, "discnumber"), "2/3");
  EXPECT_EQ(values_of(info, "my field"), "mine");
  EXPECT_EQ(values_of(info, "other"), "<none>");
  EXPECT_EQ(values_of(info, "composer"), "<none>");
  EXPECT_EQ(info.field_count(), 7u);
  EXPECT_FLOAT_EQ(info.get_replaygain().track_gain, -6.5f);
  EXPECT_FLOAT_EQ(info.get_replaygain().album_peak, 0.5f);
  EXPECT_EQ(info.get_tech_int("bitrate"), 128);
}

TEST(WmaAttributesRead, TrackNumbers) {
  struct {
    std::vector<fake_attribute> attributes;
    const char* expected;
  } cases[] = {
      // "WM/Track" counts from zero.
      {{dword_attribute(L"WM/Track", 2)}, "3"},
      {{text_attribute(L"WM/Track", L"2")}, "<none>"},
      // "WM/TrackNumber" wins in either order.
      {{dword_attribute(L"WM/Track", 2), dword_attribute(L"WM/TrackNumber", 7)}, "7"},
      {{text_attribute(L"WM/TrackNumber", L"7"), dword_attribute(L"WM/Track", 2)}, "7"},
      {{dword_attribute(L"WM/TrackNumber", 4), dword_attribute(L"WM/TrackNumber", 5)}, "5"},
  };
  for (auto& one : cases) {
    fake_header_info header;
    header.attributes = one.attributes;
    track_info_impl info;
    wma::read_attributes(header, 0, info);
    EXPECT_EQ(values_of(info, "tracknumber"), one.expected);
  }
}

TEST(WmaAttributesRead, NoEnumerationIsNoAttributesAndOtherFailuresAreNamed) {
  fake_header_info header;
  header.attributes = {text_attribute(L"Title", L"x")};
  header.count_result = E_NOTIMPL;
  track_info_impl info;
  EXPECT_NO_THROW(wma::read_attributes(header, 0, info));
  EXPECT_EQ(info.field_count(), 0u);

  header.count_result = E_OUTOFMEMORY;
  try {
    wma::read_attributes(header, 0, info);
    FAIL() << "a failed count passed";
  } catch (const vantrel_io::exception_io& failure) {
    EXPECT_EQ(std::string(failure.what()).rfind("IWMHeaderInfo3::GetAttributeCountEx failed : ", 0), 0u)
        << failure.what();
  }
}

TEST(WmaAttributesWrite, DeletesWhatItOwnsThenAddsFieldsThenReplayGain) {
  fake_header_info header;
  header.attributes = {
      text_attribute(L"Title", L"Old"),
      dword_attribute(L"WM/Track", 1),
      text_attribute(L"WM/Picture", L"kept"),
      dword_attribute(L"WM/TrackNumber", 2),
      text_attribute(L"replaygain_track_gain", L"+1.00 dB"),
      text_attribute(L"vantrel/old", L"gone"),
      text_attribute(L"WM/EncodingSettings", L"kept too"),
      text_attribute(L"Copyright", L"locked"),
  };
  header.attributes.back().read_only = true;

  track_info_impl info;
  add(info, "artist", "A");
  add(info, "artist", "B");
  add(info, "comment", "x");
  add(info, "comment", "y");
  add(info, "tracknumber", "5");
  add(info, "My Field", "q");
  replaygain_info gain;
  gain.album_gain = -3.5f;
  gain.track_peak = 0.25f;
  info.set_replaygain(gain);

  ASSERT_EQ(message_of_write(header, info), "");
  const std::vector<std::wstring> expected = {
      L"delete vantrel/old",
      L"delete replaygain_track_gain",
      L"delete WM/TrackNumber",
      L"delete WM/Track",
      L"delete Title",
      L"add Author=A",
      L"add Author=B",
      L"add Description=x; y",
      L"add WM/TrackNumber=5",
      L"add vantrel/My Field=q",
      L"add replaygain_album_gain=-3.50 dB",
      L"add replaygain_track_peak=0.250000",
  };
  EXPECT_EQ(header.calls, expected);
  ASSERT_GE(header.attributes.size(), 3u);
  EXPECT_EQ(header.attributes[0].name, L"WM/Picture");
  EXPECT_EQ(header.attributes[1].name, L"WM/EncodingSettings");
  EXPECT_EQ(header.attributes[2].name, L"Copyright");

  // What was written reads back as the same fields, from values stored
  // without a terminator.
  track_info_impl back;
  wma::read_attributes(header, 0, back);
  EXPECT_EQ(values_of(back, "artist"), "A|B");
  EXPECT_EQ(values_of(back, "comment"), "x; y");
  EXPECT_EQ(values_of(back, "copyright"), "locked");
  EXPECT_EQ(values_of(back, "tracknumber"), "5");
  EXPECT_EQ(values_of(back, "my field"), "q");
  EXPECT_FLOAT_EQ(back.get_replaygain().album_gain, -3.5f);
  EXPECT_FALSE(replaygain_info::gain_present(back.get_replaygain().track_gain));
}

TEST(WmaAttributesWrite, RefusalsOtherThanTheToleratedOnesAreNamed) {
  fake_header_info header;
  track_info_impl info;
  add(info, "title", "");  // an empty value is refused with E_INVALIDARG, which is tolerated
  EXPECT_EQ(message_of_write(header, info), "");

  header.count_result = E_ACCESSDENIED;
  EXPECT_EQ(message_of_write(header, info).rfind("IWMHeaderInfo3::GetAttributeCount failed : ", 0), 0u);
}

}  // namespace
