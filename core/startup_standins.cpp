// Minimal stand-ins for what start-up calls of parts that are not built yet.
// Each block is replaced by its real code; until then it does the least that
// lets the program start, run its loop and shut down.
#include "core/startup_services.h"

// No lifecycle callback service is registered by any module of the program,
// so there is nobody to call.
namespace lifecycle_callbacks {
void on_init() {}
void on_quit() {}
}  // namespace lifecycle_callbacks

// Closing a preferences dialog still open after the loop belongs to the
// dialog's own module; until that module answers this call, the dialog
// registry destroys every open dialog at shutdown.
namespace preferences_dialog {
void destroy_if_open() {}
}
