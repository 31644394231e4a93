// What the properties dialog's sub-dialogs (table edit, automatic filling,
// split values) report to their completion, exactly once, before their
// window goes.
#pragma once

#include <cstdint>

enum sub_dialog_result : std::uint32_t {
  sub_dialog_accepted = 1,  // the caller's data holds the user's changes
  sub_dialog_cancelled = 2,  // nothing to take
};
