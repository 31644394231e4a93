#include "inputs/wma/header_attributes.h"

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "foundation/code_page_text.h"
#include "inputs/wma/attribute_map.h"
#include "inputs/wma/wma_result.h"
#include "metadata/replaygain_text.h"
#include "metadata/tags/tag_field_map.h"

namespace wma {

namespace {

constexpr HRESULT read_only_attribute = static_cast<HRESULT>(0xC00D0BD6);

struct attribute {
  std::wstring name;
  WMT_ATTR_DATATYPE type = WMT_TYPE_DWORD;
  std::vector<BYTE> value;
};

// Asked once for the sizes, then for the name and (when wanted) the value.
attribute read_attribute(IWMHeaderInfo3& header, WORD stream, WORD index, bool with_value) {
  attribute out;
  WORD name_length = 0, language = 0;
  DWORD value_length = 0;
  check(header.GetAttributeByIndexEx(stream, index, nullptr, &name_length, &out.type, &language, nullptr,
                                     &value_length),
        "IWMHeaderInfo3::GetAttributeByIndexEx");
  std::vector<wchar_t> name(name_length + 1u, L'\0');
  if (with_value) out.value.resize(value_length);
  else value_length = 0;
  check(header.GetAttributeByIndexEx(stream, index, name.data(), &name_length, &out.type, &language,
                                     with_value && value_length ? out.value.data() : nullptr, &value_length),
        "IWMHeaderInfo3::GetAttributeByIndexEx");
  // The runtime's lengths are trusted only as far as the buffers go.
  name.back() = L'\0';
  out.name = name.data();
  if (with_value && value_length < out.value.size()) out.value.resize(value_length);
  return out;
}

// String values are not always NUL-terminated: the byte length bounds them,
// and a terminator inside ends them.
std::string string_value(const std::vector<BYTE>& bytes) {
  std::wstring units(bytes.size() / 2, L'\0');
  if (!units.empty()) std::memcpy(units.data(), bytes.data(), units.size() * 2);
  units.resize(std::wcslen(units.c_str()));
  return qiv::utf16_to_utf8(units.data(), units.size());
}

std::optional<std::uint32_t> dword_value(const attribute& one) {
  if (one.type != WMT_TYPE_DWORD || one.value.size() != 4) return std::nullopt;
  std::uint32_t value;
  std::memcpy(&value, one.value.data(), 4);
  return value;
}

void add_string(IWMHeaderInfo3& header, const std::wstring& name, const std::wstring& value) {
  WORD index = 0;
  const HRESULT result =
      header.AddAttribute(0, name.c_str(), &index, WMT_TYPE_STRING, 0, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>(value.size() * sizeof(wchar_t)));
  if (result == E_INVALIDARG) return;
  check(result, "IWMHeaderInfo::AddAttribute");
}

std::wstring wide(const char* text) { return qiv::utf8_to_utf16(text, std::strlen(text)); }

}  // namespace

void read_attributes(IWMHeaderInfo3& header, WORD stream, track_info& info) {
  WORD count = 0;
  const HRESULT counted = header.GetAttributeCountEx(stream, &count);
  if (counted == E_NOTIMPL) return;
  check(counted, "IWMHeaderInfo3::GetAttributeCountEx");

  bool have_track_number = false;
  std::optional<std::uint32_t> zero_based_track;
  for (WORD index = 0; index < count; ++index) {
    const attribute one = read_attribute(header, stream, index, true);
    const wchar_t* name = one.name.c_str();
    if (one.type == WMT_TYPE_DWORD) {
      const std::optional<std::uint32_t> value = dword_value(one);
      if (!value) continue;
      if (_wcsicmp(name, L"Bitrate") == 0) {
        info.set_bitrate((static_cast<std::int64_t>(*value) + 500) / 1000);
      } else if (is_zero_based_track_attribute(name)) {
        if (!zero_based_track) zero_based_track = *value;
      } else if (is_track_number_attribute(name)) {
        info.set_field("tracknumber", 11, std::to_string(*value).c_str(), qiv::until_nul);
        have_track_number = true;
      }
    } else if (one.type == WMT_TYPE_STRING) {
      const std::string value = string_value(one.value);
      if (value.empty()) continue;
      if (const char* field = field_for_attribute(name)) {
        info.add_value(field, track_info::until_nul, value.data(), value.size());
        if (is_track_number_attribute(name)) have_track_number = true;
      } else if (is_replaygain_attribute(name)) {
        info.try_set_replaygain(qiv::utf16_to_utf8(name, one.name.size()).c_str(), value.c_str());
      } else if (one.name.compare(0, custom_prefix_length, custom_prefix) == 0) {
        const std::string field = qiv::utf16_to_utf8(name + custom_prefix_length, one.name.size() - custom_prefix_length);
        if (!field.empty()) info.add_value(field.c_str(), field.size(), value.data(), value.size());
      }
    }
  }
  // "WM/Track" counts from zero; "WM/TrackNumber", when the file has both,
  // is the number the user set.
  if (!have_track_number && zero_based_track)
    info.set_field("tracknumber", 11, std::to_string(*zero_based_track + 1ull).c_str(), qiv::until_nul);
}

void write_attributes(IWMHeaderInfo3& header, const track_info& info) {
  WORD count = 0;
  check(header.GetAttributeCountEx(0, &count), "IWMHeaderInfo3::GetAttributeCount");
  // Gathered from the last down, a value stored twice gives first the one a
  // reading takes.
  tag_field_map stored_gains;
  // From the last down, so that a deletion moves no index still to be read.
  for (WORD index = count; index-- > 0;) {
    const attribute one = read_attribute(header, 0, index, false);
    if (!is_owned_attribute(one.name.c_str())) continue;
    if (is_replaygain_attribute(one.name.c_str()) && one.type == WMT_TYPE_STRING)
      stored_gains.add_value(qiv::utf16_to_utf8(one.name.c_str(), one.name.size()),
                             string_value(read_attribute(header, 0, index, true).value));
    const HRESULT result = header.DeleteAttribute(0, index);
    if (result == read_only_attribute) continue;
    check(result, "IWMHeaderInfo3::DeleteAttribute");
  }

  for (std::uint32_t field = 0; field < info.field_count(); ++field) {
    const std::uint32_t values = info.field_value_count(field);
    if (values == 0) continue;
    const std::wstring name = attribute_for_field(info.field_name(field));
    if (is_multivalue_attribute(name.c_str())) {
      for (std::uint32_t value = 0; value < values; ++value) add_string(header, name, wide(info.field_value(field, value)));
    } else {
      std::string joined;
      for (std::uint32_t value = 0; value < values; ++value) {
        if (value) joined += "; ";
        joined += info.field_value(field, value);
      }
      add_string(header, name, wide(joined.c_str()));
    }
  }

  tag_field_map gains;
  std::string text;
  for (const replaygain_field& field : replaygain_fields)
    if (replaygain_format_field(text, info.get_replaygain(), field)) gains.set_value(field.name, text);
  keep_stored_replaygain_texts(stored_gains, gains);
  for (const replaygain_field& field : replaygain_fields)
    if (const tag_field_map::values* values = gains.find(field.name))
      add_string(header, wide(field.name), wide(values->front().c_str()));
}

}  // namespace wma
