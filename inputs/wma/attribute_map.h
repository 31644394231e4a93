// How the header attributes of Windows Media files and the player's fields
// name each other, and the attributes the tag writer owns.
#pragma once

#include <string>

namespace wma {

// The field an attribute is read into; null when the main table lacks it.
const char* field_for_attribute(const wchar_t* attribute);
// The attribute a field is written as: the main table's name, else the
// custom prefix followed by the field name.
std::wstring attribute_for_field(const char* field);
// Written as one attribute per value rather than one joined by "; ".
bool is_multivalue_attribute(const wchar_t* attribute);
bool is_replaygain_attribute(const wchar_t* attribute);
// The track-number attributes: "WM/TrackNumber" (one-based) and "WM/Track"
// (zero-based).
bool is_track_number_attribute(const wchar_t* attribute);
bool is_zero_based_track_attribute(const wchar_t* attribute);
// Every attribute a write replaces: the tables' names, ReplayGain and custom
// fields. Others (covers, encoder settings) stay as they are.
bool is_owned_attribute(const wchar_t* attribute);

// The prefix of fields outside the main table, matched exactly.
inline constexpr wchar_t custom_prefix[] = L"vantrel/";
inline constexpr std::size_t custom_prefix_length = sizeof(custom_prefix) / sizeof(wchar_t) - 1;

}  // namespace wma
