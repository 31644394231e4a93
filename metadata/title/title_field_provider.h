// What a compiled script asks of the track it is evaluated against: the text
// of its fields and of the functions the built-in table lacks. Track handles
// and the track-field provider implement field_provider; the evaluator hands
// them a title_field_output that routes every write through the caller's text
// filter into the script's output.
#pragma once

#include <guiddef.h>

#include <cstddef>
#include <cstdint>

// The two kinds of text a provider writes; filters may treat them apart (the
// default filter ignores the kind).
// {CD839C8E-5C66-4AE1-8DAD-711F86000AE3}
inline constexpr GUID title_text_type_a = {0xCD839C8E, 0x5C66, 0x4AE1, {0x8D, 0xAD, 0x71, 0x1F, 0x86, 0x00, 0x0A, 0xE3}};
// {673AA1CD-A7A8-40C8-BF9B-34379929163B}
inline constexpr GUID title_text_type_b = {0x673AA1CD, 0xA7A8, 0x40C8, {0xBF, 0x9B, 0x34, 0x37, 0x99, 0x29, 0x16, 0x3B}};

// The track field a %name% stands for, found once when the script is
// compiled (track_fields::slot_of); no_track_field for a name that is none of
// a track's fields.
using track_field_slot = std::uint8_t;
inline constexpr track_field_slot no_track_field = 0;

// A length meaning "up to the NUL".
inline constexpr std::size_t title_until_nul = ~std::size_t(0);

class title_field_output {
public:
  // Appends text (length bytes, or up to its NUL for title_until_nul).
  virtual void write(const GUID& type, const char* text, std::size_t length = title_until_nul) = 0;

protected:
  ~title_field_output() = default;
};

// The already evaluated arguments of a function the table lacks.
class title_function_args {
public:
  virtual std::uint32_t count() const = 0;
  // Not NUL-terminated in general: use get_length.
  virtual const char* get_text(std::uint32_t index) const = 0;
  virtual std::size_t get_length(std::uint32_t index) const = 0;

protected:
  ~title_function_args() = default;
};

class field_provider {
public:
  // Returns whether the provider knows the name; found tells whether the
  // field held a value (the truth of what was written). An unhandled name
  // makes the evaluator write "?". name is not NUL-terminated.
  virtual bool process_field(title_field_output& out, const char* name, std::size_t name_length,
                             bool& found) = 0;
  // process_field for a name whose track-field slot is known: a provider of
  // track fields answers from the slot without matching the name again;
  // every other provider answers by name.
  virtual bool process_bound_field(title_field_output& out, track_field_slot /*slot*/, const char* name,
                                   std::size_t name_length, bool& found) {
    return process_field(out, name, name_length, found);
  }
  // Likewise for a function the table lacks; unhandled writes
  // "[UNKNOWN FUNCTION]".
  virtual bool process_function(title_field_output& out, const char* name, std::size_t name_length,
                                const title_function_args& args, bool& found) = 0;

protected:
  ~field_provider() = default;
};
