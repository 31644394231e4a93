#include "inputs/wma/attribute_map.h"

#include <cstring>
#include <cwchar>

#include "foundation/case_folding.h"
#include "foundation/code_page_text.h"

namespace wma {

namespace {

struct name_pair {
  const wchar_t* attribute;
  const char* field;
};

// When a name occurs twice, the first pair wins in both directions.
constexpr name_pair main_table[] = {
    {L"Description", "comment"},
    {L"Title", "title"},
    {L"WM/AlbumArtist", "album artist"},
    {L"WM/AlbumTitle", "album"},
    {L"Author", "artist"},
    {L"Rating", "rating"},
    {L"Copyright", "copyright"},
    {L"WM/BeatsPerMinute", "bpm"},
    {L"WM/Category", "category"},
    {L"WM/Composer", "composer"},
    {L"WM/Conductor", "conductor"},
    {L"WM/EncodedBy", "encoded by"},
    {L"WM/Genre", "genre"},
    {L"WM/ISRC", "isrc"},
    {L"WM/Language", "language"},
    {L"WM/Lyrics", "lyrics"},
    {L"WM/MediaCredits", "credits"},
    {L"WM/Mood", "mood"},
    {L"WM/OriginalAlbumTitle", "original album"},
    {L"WM/OriginalArtist", "original artist"},
    {L"WM/OriginalLyricist", "original lyricist"},
    {L"WM/OriginalReleaseTime", "original release time"},
    {L"WM/OriginalReleaseYear", "original release date"},
    {L"WM/PartOfSet", "discnumber"},
    {L"WM/Producer", "producer"},
    {L"WM/Publisher", "publisher"},
    {L"WM/SubTitle", "subtitle"},
    {L"WM/SubTitleDescription", "subtitle description"},
    {L"WM/TrackNumber", "tracknumber"},
    {L"TotalTracks", "totaltracks"},
    {L"WM/Writer", "writer"},
    {L"WM/Year", "date"},
};

constexpr const wchar_t* multivalue_attributes[] = {
    L"Author",       L"WM/AlbumArtist", L"WM/AlbumCoverURL", L"WM/Category",          L"WM/Composer",
    L"WM/Conductor", L"WM/Director",    L"WM/Genre",         L"WM/GenreID",           L"WM/Language",
    L"WM/Lyrics_Synchronised",          L"WM/Mood",          L"WM/Picture",           L"WM/Producer",
    L"WM/PromotionURL",                 L"WM/UserWebURL",    L"WM/Writer",
};

constexpr const wchar_t* replaygain_attributes[] = {
    L"replaygain_track_gain", L"replaygain_track_peak", L"replaygain_album_gain", L"replaygain_album_peak"};

// Attribute names are ASCII in practice; other characters compare exactly.
bool same_name(const wchar_t* a, const wchar_t* b) {
  for (;; ++a, ++b) {
    wchar_t x = *a, y = *b;
    if (x >= L'A' && x <= L'Z') x = static_cast<wchar_t>(x + 32);
    if (y >= L'A' && y <= L'Z') y = static_cast<wchar_t>(y + 32);
    if (x != y) return false;
    if (x == 0) return true;
  }
}

template <class List>
bool listed(const List& list, const wchar_t* name) {
  for (const wchar_t* one : list)
    if (same_name(one, name)) return true;
  return false;
}

}  // namespace

const char* field_for_attribute(const wchar_t* attribute) {
  for (const name_pair& pair : main_table)
    if (same_name(pair.attribute, attribute)) return pair.field;
  return nullptr;
}

std::wstring attribute_for_field(const char* field) {
  for (const name_pair& pair : main_table)
    if (qiv::compare_nocase(pair.field, field) == 0) return pair.attribute;
  return std::wstring(custom_prefix) + qiv::utf8_to_utf16(field, std::strlen(field));
}

bool is_multivalue_attribute(const wchar_t* attribute) { return listed(multivalue_attributes, attribute); }

bool is_replaygain_attribute(const wchar_t* attribute) { return listed(replaygain_attributes, attribute); }

bool is_zero_based_track_attribute(const wchar_t* attribute) { return same_name(attribute, L"WM/Track"); }

bool is_track_number_attribute(const wchar_t* attribute) {
  return same_name(attribute, L"WM/TrackNumber") || is_zero_based_track_attribute(attribute);
}

bool is_owned_attribute(const wchar_t* attribute) {
  return field_for_attribute(attribute) || is_track_number_attribute(attribute) || is_replaygain_attribute(attribute) ||
         std::wcsncmp(attribute, custom_prefix, custom_prefix_length) == 0;
}

}  // namespace wma
