// A stand-in for the runtime's header-attribute interface, which Wine does
// not implement: it holds stream 0's attributes in memory and records every
// delete and add in the order they came.
#pragma once

#include <windows.h>
#include <wmsdkidl.h>

#include <cstring>
#include <string>
#include <vector>

struct fake_attribute {
  std::wstring name;
  WMT_ATTR_DATATYPE type;
  std::vector<BYTE> value;
  bool read_only = false;
};

inline fake_attribute text_attribute(const wchar_t* name, const std::wstring& value, bool terminated = true) {
  fake_attribute out{name, WMT_TYPE_STRING, {}};
  const std::size_t bytes = (value.size() + (terminated ? 1 : 0)) * sizeof(wchar_t);
  out.value.resize(bytes);
  std::memcpy(out.value.data(), value.c_str(), bytes);
  return out;
}

inline fake_attribute dword_attribute(const wchar_t* name, DWORD value) {
  fake_attribute out{name, WMT_TYPE_DWORD, std::vector<BYTE>(4)};
  std::memcpy(out.value.data(), &value, 4);
  return out;
}

class fake_header_info : public IWMHeaderInfo3 {
public:
  std::vector<fake_attribute> attributes;
  // "delete <name>" and "add <name>=<value>", in call order.
  std::vector<std::wstring> calls;
  HRESULT count_result = S_OK;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE GetAttributeCountEx(WORD stream, WORD* count) override {
    if (FAILED(count_result)) return count_result;
    *count = stream == 0 ? static_cast<WORD>(attributes.size()) : 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetAttributeByIndexEx(WORD stream, WORD index, LPWSTR name, WORD* name_length,
                                                  WMT_ATTR_DATATYPE* type, WORD* language, BYTE* value,
                                                  DWORD* value_length) override {
    if (stream != 0 || index >= attributes.size()) return E_INVALIDARG;
    const fake_attribute& one = attributes[index];
    const WORD needed = static_cast<WORD>(one.name.size() + 1);
    if (name) {
      if (*name_length < needed) return E_INVALIDARG;
      std::memcpy(name, one.name.c_str(), needed * sizeof(wchar_t));
    }
    *name_length = needed;
    *type = one.type;
    *language = 0;
    if (value) {
      if (*value_length < one.value.size()) return E_INVALIDARG;
      std::memcpy(value, one.value.data(), one.value.size());
    }
    *value_length = static_cast<DWORD>(one.value.size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE AddAttribute(WORD stream, LPCWSTR name, WORD* index, WMT_ATTR_DATATYPE type, WORD,
                                         const BYTE* value, DWORD length) override {
    if (stream != 0 || type != WMT_TYPE_STRING || length % 2) return E_FAIL;
    if (length == 0) return E_INVALIDARG;
    fake_attribute added{name, type, std::vector<BYTE>(value, value + length)};
    calls.push_back(L"add " + added.name + L"=" +
                    std::wstring(reinterpret_cast<const wchar_t*>(value), length / sizeof(wchar_t)));
    attributes.push_back(std::move(added));
    *index = static_cast<WORD>(attributes.size() - 1);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DeleteAttribute(WORD stream, WORD index) override {
    if (stream != 0 || index >= attributes.size()) return E_INVALIDARG;
    if (attributes[index].read_only) return static_cast<HRESULT>(0xC00D0BD6);
    calls.push_back(L"delete " + attributes[index].name);
    attributes.erase(attributes.begin() + index);
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetAttributeCount(WORD, WORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetAttributeByIndex(WORD, WORD*, WCHAR*, WORD*, WMT_ATTR_DATATYPE*, BYTE*, WORD*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetAttributeByName(WORD*, LPCWSTR, WMT_ATTR_DATATYPE*, BYTE*, WORD*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetAttribute(WORD, LPCWSTR, WMT_ATTR_DATATYPE, const BYTE*, WORD) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetMarkerCount(WORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMarker(WORD, WCHAR*, WORD*, QWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE AddMarker(LPCWSTR_WMSDK_TYPE_SAFE, QWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RemoveMarker(WORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetScriptCount(WORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetScript(WORD, WCHAR*, WORD*, WCHAR*, WORD*, QWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE AddScript(LPCWSTR_WMSDK_TYPE_SAFE, LPCWSTR_WMSDK_TYPE_SAFE, QWORD) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE RemoveScript(WORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetCodecInfoCount(DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetCodecInfo(DWORD, WORD*, WCHAR*, WORD*, WCHAR*, WMT_CODEC_INFO_TYPE*, WORD*,
                                         BYTE*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetAttributeIndices(WORD, LPCWSTR, WORD*, WORD*, WORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ModifyAttribute(WORD, WORD, WMT_ATTR_DATATYPE, WORD, const BYTE*, DWORD) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE AddCodecInfo(LPCWSTR_WMSDK_TYPE_SAFE, LPCWSTR_WMSDK_TYPE_SAFE, WMT_CODEC_INFO_TYPE, WORD,
                                         BYTE*) override {
    return E_NOTIMPL;
  }
};
