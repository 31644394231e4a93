#include "playback/output/app_volume_control.h"

#include <audiopolicy.h>
#include <mmdeviceapi.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "core/main_thread_queue.h"
#include "core/service_factory.h"
#include "foundation/com_ptr.h"
#include "foundation/guid_equal.h"
#include "foundation/refcounted.h"
#include "playback/output/dsound_device.h"

namespace {

// Marks the program's own volume changes, so they are not reported back.
constexpr GUID own_event_context = {0x53CF1135, 0x1306, 0x45B2, {0x84, 0x35, 0x16, 0x43, 0x14, 0x1D, 0xAE, 0x54}};

float decibels_of(float level) noexcept {
  return level <= 0.0f ? -100.0f : std::max(20.0f * std::log10(level), -100.0f);
}

void post_to_main_thread(std::function<void()> body) {
  main_thread_queue::post(new service_counted<main_thread_call>(std::move(body)));
}

class volume_control;

// Posted callbacks find the control through this cell; the control clears
// it when it goes, so late callbacks do nothing.
struct control_cell : qiv::refcounted_object {
  volume_control* control = nullptr;
};

// Called on system threads: each only posts to the main thread.
class session_events final : public IAudioSessionEvents {
public:
  explicit session_events(qiv::ref_ptr<control_cell> cell) : cell_(std::move(cell)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == __uuidof(IUnknown) || iid == __uuidof(IAudioSessionEvents)) {
      *out = static_cast<IAudioSessionEvents*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++count_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG count = --count_;
    if (count == 0) delete this;
    return count;
  }
  HRESULT STDMETHODCALLTYPE OnSimpleVolumeChanged(float level, BOOL, LPCGUID context) override;
  HRESULT STDMETHODCALLTYPE OnDisplayNameChanged(LPCWSTR, LPCGUID) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnIconPathChanged(LPCWSTR, LPCGUID) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnChannelVolumeChanged(DWORD, float*, DWORD, LPCGUID) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnGroupingParamChanged(LPCGUID, LPCGUID) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnStateChanged(AudioSessionState) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnSessionDisconnected(AudioSessionDisconnectReason) override { return S_OK; }

private:
  ~session_events() = default;
  std::atomic<ULONG> count_{1};
  qiv::ref_ptr<control_cell> cell_;
};

// Embedded in the control, so its counting does nothing.
class default_device_client final : public IMMNotificationClient {
public:
  explicit default_device_client(qiv::ref_ptr<control_cell> cell) : cell_(std::move(cell)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == __uuidof(IUnknown) || iid == __uuidof(IMMNotificationClient)) {
      *out = static_cast<IMMNotificationClient*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE OnDefaultDeviceChanged(EDataFlow flow, ERole role, LPCWSTR id) override;
  HRESULT STDMETHODCALLTYPE OnDeviceStateChanged(LPCWSTR, DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnDeviceAdded(LPCWSTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnDeviceRemoved(LPCWSTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnPropertyValueChanged(LPCWSTR, const PROPERTYKEY) override { return S_OK; }

private:
  qiv::ref_ptr<control_cell> cell_;
};

class volume_control : public app_volume_control {
public:
  explicit volume_control(const GUID& device) : cell_(new control_cell()), client_(cell_) {
    cell_->control = this;
    try {
      sink_ = new session_events(cell_);
      check_dsound_result(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                           __uuidof(IMMDeviceEnumerator), enumerator_.receive_void()));
      std::wstring id;
      static const GUID default_device = {};
      if (qiv::guid_equal(device, default_device)) {
        qiv::com_ptr<IMMDevice> endpoint;
        check_dsound_result(enumerator_->GetDefaultAudioEndpoint(eRender, eMultimedia, endpoint.receive()));
        id = endpoint_id(endpoint.get());
        check_dsound_result(enumerator_->RegisterEndpointNotificationCallback(&client_));
        client_registered_ = true;
      } else {
        id = dsound_endpoint_id(device);
      }
      open(id);
    } catch (...) {
      tear_down();
      throw;
    }
  }
  ~volume_control() { tear_down(); }

  void add_listener(app_volume_listener* listener) override { listeners_.push_back(listener); }
  void remove_listener(app_volume_listener* listener) override { std::erase(listeners_, listener); }

  float get_volume() override {
    float level = 0.0f;
    if (simple_ && SUCCEEDED(simple_->GetMasterVolume(&level))) cached_ = decibels_of(level);
    return cached_;
  }

  void set_volume(float decibels) override {
    cached_ = decibels;
    if (!simple_) return;
    const float level = std::clamp(std::pow(10.0f, decibels / 20.0f), 0.0f, 1.0f);
    simple_->SetMasterVolume(level, &own_event_context);  // a refusal changes nothing worth reporting
  }

  // Main thread.
  void notify_listeners(float decibels) {
    cached_ = decibels;
    const std::vector<app_volume_listener*> listeners = listeners_;
    for (app_volume_listener* listener : listeners) listener->on_volume_change(decibels);
  }

  void follow_default_device(const std::wstring& id) {
    close();
    try {
      open(id);
    } catch (...) {
      close();  // no session on the new device: the volume waits for the next change
    }
    set_volume(cached_);
  }

private:
  static std::wstring endpoint_id(IMMDevice* endpoint) {
    wchar_t* text = nullptr;
    check_dsound_result(endpoint->GetId(&text));
    std::wstring id(text);
    CoTaskMemFree(text);
    return id;
  }

  void open(const std::wstring& id) {
    check_dsound_result(enumerator_->GetDevice(id.c_str(), device_.receive()));
    qiv::com_ptr<IAudioSessionManager> manager;
    check_dsound_result(device_->Activate(__uuidof(IAudioSessionManager), CLSCTX_ALL, nullptr, manager.receive_void()));
    check_dsound_result(manager->GetAudioSessionControl(nullptr, 0, session_.receive()));
    check_dsound_result(manager->GetSimpleAudioVolume(nullptr, 0, simple_.receive()));
    check_dsound_result(session_->RegisterAudioSessionNotification(sink_));
    sink_registered_ = true;
  }

  void close() noexcept {
    if (session_ && sink_registered_) session_->UnregisterAudioSessionNotification(sink_);
    sink_registered_ = false;
    session_.reset();
    simple_.reset();
    device_.reset();
  }

  void tear_down() noexcept {
    close();
    if (client_registered_) enumerator_->UnregisterEndpointNotificationCallback(&client_);
    client_registered_ = false;
    enumerator_.reset();
    if (sink_) sink_->Release();
    sink_ = nullptr;
    cell_->control = nullptr;
  }

  qiv::ref_ptr<control_cell> cell_;
  default_device_client client_;
  session_events* sink_ = nullptr;
  qiv::com_ptr<IMMDeviceEnumerator> enumerator_;
  qiv::com_ptr<IMMDevice> device_;
  qiv::com_ptr<IAudioSessionControl> session_;
  qiv::com_ptr<ISimpleAudioVolume> simple_;
  bool sink_registered_ = false;
  bool client_registered_ = false;
  float cached_ = 0.0f;
  std::vector<app_volume_listener*> listeners_;
};

HRESULT session_events::OnSimpleVolumeChanged(float level, BOOL, LPCGUID context) {
  if (context && qiv::guid_equal(*context, own_event_context)) return S_OK;
  try {
    const float decibels = decibels_of(level);
    qiv::ref_ptr<control_cell> cell = cell_;
    post_to_main_thread([cell, decibels] {
      if (cell->control) cell->control->notify_listeners(decibels);
    });
  } catch (...) {
    // Out of memory on a system thread: this one change goes unreported.
  }
  return S_OK;
}

HRESULT default_device_client::OnDefaultDeviceChanged(EDataFlow flow, ERole role, LPCWSTR id) {
  if (flow != eRender || role != eMultimedia) return S_OK;
  try {
    std::wstring new_id = id ? id : L"";
    qiv::ref_ptr<control_cell> cell = cell_;
    post_to_main_thread([cell, new_id] {
      if (cell->control) cell->control->follow_default_device(new_id);
    });
  } catch (...) {
  }
  return S_OK;
}

} // namespace

service_ptr<app_volume_control> create_app_volume_control(const GUID& device) {
  return service_ptr<app_volume_control>(new service_counted<volume_control>(device));
}
