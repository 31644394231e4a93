// The field edit dialog: edits one field of the properties dialog's tracks,
// its name when it is a new field, and its values, as one value for every
// track or (with several tracks) a value per track. Modeless; it calls its
// completion once, with 1 when the field was changed and accepted, else 2,
// and then destroys itself. Main thread only.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "metadata/metadata_io.h"
#include "metadata/track_handle.h"
#include "properties/edited_field.h"
#include "properties/field_display_context.h"

enum : std::uint32_t { field_edit_accepted = 1, field_edit_cancelled = 2 };

// The dialog edits `field` in place while it is open; a caller that must be
// able to cancel hands in a copy. `existing_names` are the fields the tracks
// already have, for the question before one is overwritten. exception_win32
// when the window cannot be made.
void open_field_edit_dialog(HWND owner, edited_field_ptr field, const track_handle_list& tracks,
                            std::vector<std::string> existing_names, const field_display_context& context,
                            bool add_new, service_ptr<metadata_completion> completion);

// The track count decides the variant: one track gets a single value box,
// any other count the tabbed dialog with a value per track.
int field_edit_template(std::size_t track_count, bool add_new);
