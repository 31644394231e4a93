// Reaching DirectSound devices: by GUID (the null GUID is the system's
// default device), through the endpoint of the same device on Windows 6.0
// and later, and the one way DirectSound failures become exceptions.
#pragma once

#include <windows.h>
#include <dsound.h>

#include <functional>
#include <string>

#include "foundation/com_ptr.h"

// A negative result throws exception_com: "Audio data format not supported
// by this device" for DSERR_BADFORMAT, "Device not found" for
// DSERR_NODRIVER, the system's text for other codes.
void check_dsound_result(HRESULT result);

// Every DirectSound device: its GUID (null for the primary device, which is
// listed without one), its description (UTF-16) and its module string (the
// endpoint id on Windows 6.0 and later). The callback answers false to stop.
void enumerate_dsound_devices(const std::function<bool(const GUID&, const wchar_t*, const wchar_t*)>& callback);

// The endpoint id of the device with this GUID; DSERR_NODRIVER when none has it.
std::wstring dsound_endpoint_id(const GUID& device);

// Opens the device; COM must be initialised on the calling thread.
qiv::com_ptr<IDirectSound> open_dsound_device(const GUID& device);
