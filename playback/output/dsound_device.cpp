#include "playback/output/dsound_device.h"

#include <mmdeviceapi.h>

#include "foundation/guid_equal.h"
#include "foundation/win32_error.h"
#include "foundation/windows_version.h"

void check_dsound_result(HRESULT result) {
  if (SUCCEEDED(result)) return;
  const auto code = static_cast<std::uint32_t>(result);
  if (result == DSERR_BADFORMAT) throw exception_com(code, "Audio data format not supported by this device");
  if (result == DSERR_NODRIVER) throw exception_com(code, "Device not found");
  throw exception_com(code);
}

namespace {

using device_callback = std::function<bool(const GUID&, const wchar_t*, const wchar_t*)>;

// An exception cannot cross the system's enumeration: it is kept and thrown
// again once the enumeration has returned.
struct enumeration_state {
  const device_callback* callback;
  std::exception_ptr failure;
};

BOOL CALLBACK enumeration_step(GUID* guid, const wchar_t* description, const wchar_t* module, void* context) {
  auto* state = static_cast<enumeration_state*>(context);
  try {
    static const GUID primary = {};
    return (*state->callback)(guid ? *guid : primary, description ? description : L"", module ? module : L"");
  } catch (...) {
    state->failure = std::current_exception();
    return FALSE;
  }
}

} // namespace

void enumerate_dsound_devices(const device_callback& callback) {
  enumeration_state state{&callback, nullptr};
  check_dsound_result(DirectSoundEnumerateW(enumeration_step, &state));
  if (state.failure) std::rethrow_exception(state.failure);
}

std::wstring dsound_endpoint_id(const GUID& device) {
  std::wstring id;
  bool found = false;
  enumerate_dsound_devices([&](const GUID& guid, const wchar_t*, const wchar_t* module) {
    if (!found && qiv::guid_equal(guid, device)) {
      id = module;
      found = true;
    }
    return true;
  });
  if (!found) check_dsound_result(DSERR_NODRIVER);
  return id;
}

qiv::com_ptr<IDirectSound> open_dsound_device(const GUID& device) {
  static const GUID default_device = {};
  qiv::com_ptr<IDirectSound> sound;
  if (is_windows_vista_or_later()) {
    qiv::com_ptr<IMMDeviceEnumerator> enumerator;
    check_dsound_result(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                         __uuidof(IMMDeviceEnumerator), enumerator.receive_void()));
    qiv::com_ptr<IMMDevice> endpoint;
    if (qiv::guid_equal(device, default_device)) {
      check_dsound_result(enumerator->GetDefaultAudioEndpoint(eRender, eMultimedia, endpoint.receive()));
    } else {
      const std::wstring id = dsound_endpoint_id(device);
      if (FAILED(enumerator->GetDevice(id.c_str(), endpoint.receive()))) {
        // The system names no endpoint for this device (its module is a
        // driver file, as under Wine): DirectSound opens it by its GUID.
        check_dsound_result(DirectSoundCreate(&device, sound.receive(), nullptr));
        return sound;
      }
    }
    check_dsound_result(endpoint->Activate(IID_IDirectSound, CLSCTX_ALL, nullptr, sound.receive_void()));
  } else {
    check_dsound_result(DirectSoundCreate(qiv::guid_equal(device, default_device) ? nullptr : &device, sound.receive(), nullptr));
  }
  return sound;
}
