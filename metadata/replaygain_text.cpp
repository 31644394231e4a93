#include "metadata/replaygain_text.h"

#include <cfenv>
#include <cstdio>

#include "foundation/byte_compare.h"

namespace {

// Formatting honours the floating-point rounding mode; the texts must not
// depend on what a caller or a codec left it at.
class round_to_nearest_scope {
public:
  round_to_nearest_scope() : previous_(std::fegetround()) { std::fesetround(FE_TONEAREST); }
  ~round_to_nearest_scope() { std::fesetround(previous_); }
  round_to_nearest_scope(const round_to_nearest_scope&) = delete;
  round_to_nearest_scope& operator=(const round_to_nearest_scope&) = delete;

private:
  int previous_;
};

bool format_present(std::string& out, bool present, const char* format, float value) {
  out.clear();
  if (!present) return false;
  round_to_nearest_scope rounding;
  char text[64];
  int length = std::snprintf(text, sizeof text, format, static_cast<double>(value));
  if (length > 0) out.assign(text, static_cast<std::size_t>(length) < sizeof text ? length : sizeof text - 1);
  return true;
}

} // namespace

bool replaygain_format_gain(std::string& out, float gain) {
  return format_present(out, replaygain_info::gain_present(gain), "%+.2f dB", gain);
}

bool replaygain_format_peak(std::string& out, float peak) {
  return format_present(out, replaygain_info::peak_present(peak), "%.6f", peak);
}

void replaygain_reset(replaygain_info& record) noexcept { record.clear(); }

const replaygain_field* replaygain_find_field(const char* name) {
  for (const replaygain_field& field : replaygain_fields)
    if (qiv::stricmp_ascii_equal(name, field.name)) return &field;
  return nullptr;
}

bool replaygain_format_field(std::string& out, const replaygain_info& record, const replaygain_field& field) {
  const float value = record.*field.value;
  return field.is_peak ? replaygain_format_peak(out, value) : replaygain_format_gain(out, value);
}

bool replaygain_text_reads_as(const replaygain_field& field, const std::string& stored, const std::string& formatted) {
  replaygain_info read;
  read.set_from_field(field.name, stored.c_str(), stored.size());
  std::string text;
  return replaygain_format_field(text, read, field) && text == formatted;
}
