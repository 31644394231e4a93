#include "properties/sub_dialog_ending.h"

void end_sub_dialog(HWND window, service_ptr<metadata_completion> completion, std::uint32_t result) {
  EnableWindow(window, FALSE);
  try {
    if (completion) completion->on_completion(result);
  } catch (...) {
    DestroyWindow(window);
    throw;
  }
  DestroyWindow(window);
}
