// The %fields% of one track for title formatting: twelve computed from its
// location and length (file name, path, lengths, padded track number, ...)
// and the display fields of its cached record by name.
#pragma once

#include <cstddef>
#include <cstdint>

#include "metadata/title/title_field_provider.h"
#include "metadata/track_display_info.h"
#include "metadata/track_location.h"

namespace track_fields {

// Which track field a name stands for (one of the computed fields, a record
// field or "track artist"), so that scripts match each name once when they
// are compiled instead of on every evaluation; no_track_field for any other
// name.
track_field_slot slot_of(const char* name, std::size_t name_length);

// Whether the name is a track field. A computed field without a value (the
// length of a track of unknown length) writes "?" itself and answers found
// false, so an optional block around it vanishes; an unknown name is left to
// the evaluator.
bool process_field(const track_display_info& record, const track_location& location, title_field_output& out,
                   const char* name, std::size_t name_length, bool& found);

// process_field for a name already turned into its slot.
bool process_slot(const track_display_info& record, const track_location& location, title_field_output& out,
                  track_field_slot slot, bool& found);

// The record field that answers `name`, with Artist and Album Artist standing
// in for each other and "track artist" answering only when the two differ.
bool find_record_field(const track_display_info& record, std::uint32_t& index, const char* name,
                       std::size_t name_length);

} // namespace track_fields

// The provider a script sees when evaluated against a track: the caller's own
// provider first, when there is one, then the track's fields. No functions of
// its own: unknown functions stay unknown.
class track_field_provider final : public field_provider {
public:
  track_field_provider(const track_display_info& record, const track_location& location,
                       field_provider* caller = nullptr) noexcept
      : record_(record), location_(location), caller_(caller) {}

  bool process_field(title_field_output& out, const char* name, std::size_t name_length, bool& found) override;
  bool process_bound_field(title_field_output& out, track_field_slot slot, const char* name,
                           std::size_t name_length, bool& found) override;
  bool process_function(title_field_output& out, const char* name, std::size_t name_length,
                        const title_function_args& args, bool& found) override;

private:
  const track_display_info& record_;
  const track_location& location_;
  field_provider* caller_;
};
