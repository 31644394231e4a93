// The table edit: several fields of the properties dialog's tracks side by
// side, one row per track and one column per field, edited cell by cell in
// place. Tab and Shift+Tab walk the cells in the order the columns are shown
// (the user may drag them), Enter goes down a row, Esc drops the cell.
// Modeless, main thread only.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "metadata/metadata_io.h"
#include "properties/edited_field.h"
#include "properties/field_display_context.h"
#include "properties/sub_dialog_result.h"

// Every committed cell is written into `fields` at once (they are the
// caller's copies); the completion gets sub_dialog_accepted when OK closed
// the dialog after at least one commit, else sub_dialog_cancelled.
// exception_win32 when the window cannot be made; no completion then.
HWND open_table_edit_dialog(HWND owner, service_ptr<metadata_completion> completion,
                            const field_display_context& context, std::vector<std::string> item_names,
                            edited_field_list fields);
