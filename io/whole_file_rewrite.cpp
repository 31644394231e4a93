#include "io/whole_file_rewrite.h"

#include "io/file_copy.h"
#include "io/temp_schemes.h"

namespace vantrel_io {

whole_file_rewrite::whole_file_rewrite(file_object& target, retag_temp_source& source, const abort_signal& abort)
    : target_(target) {
  if (source.open_temp(output_, abort)) return;
  if (!target.is_memory_backed()) throw exception_no_safe_rewrite();
  open_temp_memory(output_, abort);
  scratch_ = true;
}

void whole_file_rewrite::finish(const abort_signal& abort) {
  if (scratch_) copy_whole_file(*output_, target_, abort);
}

}  // namespace vantrel_io
