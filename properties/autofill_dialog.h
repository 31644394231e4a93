// Automatic filling: values for every track of the properties dialog taken
// from one source string per track (the end of its path, or one clipboard
// line) through a pattern such as "%artist% - %title%", shown at once in a
// preview the user may correct cell by cell or capitalise. Modeless, main
// thread only.
#pragma once

#include <windows.h>

#include <memory>

#include "metadata/metadata_io.h"
#include "metadata/track_handle.h"
#include "properties/edited_field.h"
#include "properties/field_display_context.h"
#include "properties/sub_dialog_result.h"

// `result` holds copies of all the properties dialog's rows; on OK each field
// the pattern named receives the previewed values (a field it lacks is
// appended) and the completion gets sub_dialog_accepted. Without any field
// column OK writes nothing and reports sub_dialog_cancelled, as Cancel does.
// exception_win32 when the window cannot be made; no completion then.
HWND open_autofill_dialog(HWND owner, service_ptr<metadata_completion> completion, const track_handle_list& tracks,
                          std::shared_ptr<edited_field_list> result, const field_display_context& context);
