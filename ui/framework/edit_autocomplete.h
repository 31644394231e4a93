// Suggestions while typing in an edit field, from the shell's standard
// autocomplete object fed with an enumerator of strings: a fixed list, or a
// value history whose entries are read afresh whenever the shell rewinds.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <memory>
#include <string>
#include <vector>

class value_history;
class value_history_store;

class value_history_enum final : public IEnumString {
public:
  using string_list = std::vector<std::wstring>;

  // Answers a new object with one reference.
  static value_history_enum* create_fixed(const std::vector<std::string>& utf8_entries);
  // The store must outlive the enumerator's users (configuration items do).
  static value_history_enum* create_bound(value_history_store& history);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE Next(ULONG count, LPOLESTR* strings, ULONG* fetched) override;
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
  HRESULT STDMETHODCALLTYPE Reset() override;
  HRESULT STDMETHODCALLTYPE Clone(IEnumString** out) override;

private:
  value_history_enum(std::shared_ptr<string_list> strings, value_history_store* history) noexcept
      : strings_(std::move(strings)), history_(history) {}
  ~value_history_enum() = default;

  LONG references_ = 1;
  std::shared_ptr<string_list> strings_;
  value_history_store* history_;  // null for a fixed list
  std::size_t cursor_ = 0;
};

// Gives `edit` suggestions from `strings` with the autocomplete options
// (ACO_*). Answers the HRESULT of the first step that failed; the edit then
// works on without suggestions.
HRESULT attach_autocomplete(HWND edit, IEnumString* strings, DWORD options);

namespace edit_history {
// Fills the combo box's drop-down list from the history, empties its text
// and suggests the history's entries while typing (suggest and append).
HRESULT attach_combo(HWND combo, value_history& history);
}  // namespace edit_history
