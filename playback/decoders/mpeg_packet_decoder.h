// The packet decoder of MPEG audio (Layers I to III) for the MPEG input and
// for MPEG tracks in Matroska and MP4 files. It decodes through the system's
// codecs: ACM before Windows Vista; from Vista on a Media Foundation MP3
// transform, or ACM where the system has none or it fails at the first frame.
#pragma once

#include <cstdint>

// Which backend a decoder made now uses (for tests and diagnostics).
enum class mpeg_backend_kind { acm, media_foundation };
mpeg_backend_kind mpeg_preferred_backend(std::uint32_t windows_version);
