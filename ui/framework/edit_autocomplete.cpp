#include "ui/framework/edit_autocomplete.h"

#include <shldisp.h>
#include <shlguid.h>

#include <cstring>

#include "foundation/code_page_text.h"
#include "foundation/com_ptr.h"
#include "ui/framework/value_history.h"

namespace {

void load_history(value_history_store& store, value_history_enum::string_list& out) {
  // A limit of 0: loading never trims.
  const std::vector<std::string> entries = value_history(store, 0).load_list();
  out.clear();
  for (const std::string& entry : entries) out.push_back(qiv::utf8_to_utf16(entry.data(), entry.size()));
}

}  // namespace

value_history_enum* value_history_enum::create_fixed(const std::vector<std::string>& utf8_entries) {
  auto strings = std::make_shared<string_list>();
  for (const std::string& entry : utf8_entries) strings->push_back(qiv::utf8_to_utf16(entry.data(), entry.size()));
  return new value_history_enum(std::move(strings), nullptr);
}

value_history_enum* value_history_enum::create_bound(value_history_store& history) {
  auto strings = std::make_shared<string_list>();
  load_history(history, *strings);
  return new value_history_enum(std::move(strings), &history);
}

HRESULT STDMETHODCALLTYPE value_history_enum::QueryInterface(REFIID id, void** out) {
  if (out == nullptr) return E_INVALIDARG;
  if (IsEqualIID(id, IID_IUnknown) || IsEqualIID(id, IID_IEnumString)) {
    *out = static_cast<IEnumString*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE value_history_enum::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&references_)); }

ULONG STDMETHODCALLTYPE value_history_enum::Release() {
  const LONG left = InterlockedDecrement(&references_);
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

HRESULT STDMETHODCALLTYPE value_history_enum::Next(ULONG count, LPOLESTR* strings, ULONG* fetched) {
  if (strings == nullptr) return E_INVALIDARG;
  ULONG delivered = 0;
  try {
    while (delivered < count && cursor_ < strings_->size()) {
      const std::wstring& entry = (*strings_)[cursor_];
      auto* copy = static_cast<wchar_t*>(CoTaskMemAlloc((entry.size() + 1) * sizeof(wchar_t)));
      if (copy == nullptr) break;
      std::memcpy(copy, entry.c_str(), (entry.size() + 1) * sizeof(wchar_t));
      strings[delivered++] = copy;
      ++cursor_;
    }
  } catch (...) {
  }
  if (fetched != nullptr) *fetched = delivered;
  return delivered == count ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE value_history_enum::Skip(ULONG count) {
  const std::size_t left = strings_->size() - cursor_;
  if (count > left) {
    cursor_ = strings_->size();
    return S_FALSE;
  }
  cursor_ += count;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE value_history_enum::Reset() {
  if (history_ != nullptr) {
    // A fresh list rather than a change in place: clones share the old one.
    try {
      auto reloaded = std::make_shared<string_list>();
      load_history(*history_, *reloaded);
      strings_ = std::move(reloaded);
    } catch (...) {
      return E_OUTOFMEMORY;
    }
  }
  cursor_ = 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE value_history_enum::Clone(IEnumString** out) {
  if (out == nullptr) return E_INVALIDARG;
  *out = nullptr;
  try {
    *out = new value_history_enum(std::make_shared<string_list>(*strings_), history_);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

HRESULT attach_autocomplete(HWND edit, IEnumString* strings, DWORD options) {
  qiv::com_ptr<IAutoComplete> complete;
  HRESULT result = CoCreateInstance(CLSID_AutoComplete, nullptr, CLSCTX_ALL, IID_IAutoComplete,
                                    complete.receive_void());
  if (FAILED(result)) return result;
  result = complete->Init(edit, strings, nullptr, nullptr);
  if (FAILED(result)) return result;
  qiv::com_ptr<IAutoComplete2> complete2;
  result = complete->QueryInterface(IID_IAutoComplete2, complete2.receive_void());
  if (FAILED(result)) return result;
  return complete2->SetOptions(options);
}

HRESULT edit_history::attach_combo(HWND combo, value_history& history) {
  history.fill_combo(combo);
  SetWindowTextW(combo, L"");
  COMBOBOXINFO info = {};
  info.cbSize = sizeof(info);
  if (!GetComboBoxInfo(combo, &info) || info.hwndItem == nullptr) return E_FAIL;
  value_history_enum* strings;
  try {
    strings = value_history_enum::create_bound(history.store());
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  const HRESULT result = attach_autocomplete(info.hwndItem, strings, ACO_AUTOSUGGEST | ACO_AUTOAPPEND);
  strings->Release();
  return result;
}
