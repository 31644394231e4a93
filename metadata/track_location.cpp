#include "metadata/track_location.h"

#include "foundation/string_small.h"
#include "io/path_schemes.h"

void track_location::format_for_display(qiv::string_object& out) const {
  if (get_path()[0] == '\0') {
    out.set_string("[invalid location]");
    return;
  }
  qiv::string_small shown;
  vantrel_io::get_display_path(shown, get_path());
  out.set_string("\"");
  out.add_string(shown.get_ptr());
  out.add_string("\"");
  if (subsong_ != 0) {
    out.add_string(" / index: ");
    out.add_uint(subsong_);
  }
}
