// The header attributes of a Windows Media file as the player's fields: read
// into a track_info, and replaced by a track_info's fields.
#pragma once

#include <windows.h>
#include <wmsdkidl.h>

#include "metadata/track_info.h"

namespace wma {

// Adds the attributes of one stream (0: the file's) to `info`. A runtime
// that cannot enumerate attributes (E_NOTIMPL) gives none; that is not a
// failure.
void read_attributes(IWMHeaderInfo3& header, WORD stream, track_info& info);

// Deletes the file-level attributes the player owns (attribute_map.h), then
// adds one for each field of `info` and its ReplayGain values. Failures
// throw exception_io named by the operation.
void write_attributes(IWMHeaderInfo3& header, const track_info& info);

}  // namespace wma
