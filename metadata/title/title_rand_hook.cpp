#include "metadata/title/title_rand_hook.h"

#include <cstdint>
#include <string>

#include "foundation/byte_compare.h"
#include "foundation/number_parse.h"

void title_write_int(title_field_output& out, std::int64_t value) {
  out.write(title_text_type_b, std::to_string(value).c_str());
}

bool title_rand_hook::process_function(title_field_output& out, const char* name, std::size_t name_length,
                                       const title_function_args& args, bool& found) {
  if (qiv::stricmp_ascii_n(name, name_length, "rand", 4) != 0 || name_length != 4) return false;
  std::uint64_t bound = 0xFFFFFFFFu;
  if (args.count() == 1) bound = qiv::atoui64_n(args.get_text(0), args.get_length(0));
  const std::uint64_t value = bound == 0 ? 0 : source_.random(bound);
  // Values of 2^63 and above are written as the unsigned numbers they are.
  if (value > static_cast<std::uint64_t>(INT64_MAX)) out.write(title_text_type_b, std::to_string(value).c_str());
  else title_write_int(out, static_cast<std::int64_t>(value));
  found = true;
  return true;
}
