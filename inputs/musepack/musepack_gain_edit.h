// Where an edit of a Musepack file's ReplayGain goes. The reading shows the
// stream header's values, and the APEv2 tag's where the header holds none.
// A value the edit changed goes into the header, and into the tag where the
// tag holds it (or where no header can); a value it left alone stays where
// it stands, so the items other programs wrote keep their bytes.
#pragma once

#include "metadata/replaygain_info.h"

namespace musepack {

// The values to write into the header: the edited ones where the edit
// changed what `shown` held, the header's own elsewhere.
replaygain_info header_gain_after_edit(const replaygain_info& in_header, const replaygain_info& shown,
                                       const replaygain_info& edited);

// The tag's values after the edit: a changed value where the tag held it or
// `header_found` is false, the tag's own elsewhere.
replaygain_info tag_gain_after_edit(const replaygain_info& in_tag, const replaygain_info& shown,
                                    const replaygain_info& edited, bool header_found);

}  // namespace musepack
