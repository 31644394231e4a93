#include "inputs/musepack/musepack_gain_edit.h"

#include <string>

#include "metadata/replaygain_text.h"

namespace musepack {

namespace {

// Values compare in their stored text form, as a tag edit compares them.
bool edit_changes(const replaygain_field& field, const replaygain_info& shown, const replaygain_info& edited) {
  std::string before, after;
  replaygain_format_field(before, shown, field);
  replaygain_format_field(after, edited, field);
  return before != after;
}

bool gain_holds_field(const replaygain_field& field, const replaygain_info& gain) {
  const float value = gain.*field.value;
  return field.is_peak ? replaygain_info::peak_present(value) : replaygain_info::gain_present(value);
}

}  // namespace

replaygain_info header_gain_after_edit(const replaygain_info& in_header, const replaygain_info& shown,
                                       const replaygain_info& edited) {
  replaygain_info out = in_header;
  for (const replaygain_field& field : replaygain_fields)
    if (edit_changes(field, shown, edited)) out.*field.value = edited.*field.value;
  return out;
}

replaygain_info tag_gain_after_edit(const replaygain_info& in_tag, const replaygain_info& shown,
                                    const replaygain_info& edited, bool header_found) {
  replaygain_info out = in_tag;
  for (const replaygain_field& field : replaygain_fields)
    if (edit_changes(field, shown, edited) && (gain_holds_field(field, in_tag) || !header_found))
      out.*field.value = edited.*field.value;
  return out;
}

}  // namespace musepack
