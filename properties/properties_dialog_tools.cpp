// The properties dialog's commands that work through a sub-dialog on many
// rows at once: the table edit of the selected rows, the automatic filling
// of all rows, and the split of the selected rows' values; each runs as the
// dialog's one pending operation and its result is taken on completion.
#include <windows.h>

#include "core/config_item_registrations.h"
#include "properties/autofill_dialog.h"
#include "properties/properties_dialog.h"
#include "properties/split_values_dialog.h"
#include "properties/table_edit_dialog.h"

void properties_dialog::open_table_edit(const std::vector<int>& items) {
  if (is_busy()) return;
  table_mask_.assign(rows_.rows().size(), false);
  table_fields_.clear();
  for (int item : items) {
    if (item < 0 || std::size_t(item) >= rows_.rows().size()) continue;
    table_mask_[std::size_t(item)] = true;
  }
  // In row order, whatever order the list reported the selection in.
  for (std::size_t row = 0; row < table_mask_.size(); ++row)
    if (table_mask_[row]) table_fields_.push_back(std::make_shared<edited_field>(*rows_.rows()[row]));
  if (table_fields_.empty()) return;
  service_ptr<operation_completion> completion = start_operation(table_edit);
  try {
    open_table_edit_dialog(handle(), service_ptr<metadata_completion>(completion.get()), context_, item_names_,
                           table_fields_);
  } catch (...) {
    completion->on_completion(sub_dialog_cancelled);
    throw;
  }
}

void properties_dialog::take_table_edit(std::uint32_t status) {
  const std::vector<bool> mask = std::move(table_mask_);
  const edited_field_list fields = std::move(table_fields_);
  table_mask_.clear();
  table_fields_.clear();
  if (status != sub_dialog_accepted) return;
  std::size_t next = 0;
  for (std::size_t row = 0; row < mask.size() && row < rows_.rows().size() && next < fields.size(); ++row) {
    if (!mask[row]) continue;
    rows_.replace_row(row, fields[next++]);
    redraw_row(row);
  }
}

void properties_dialog::open_autofill() {
  if (is_busy()) return;
  autofill_rows_ = std::make_shared<edited_field_list>(rows_.copy_all());
  service_ptr<operation_completion> completion = start_operation(auto_fill);
  try {
    open_autofill_dialog(handle(), service_ptr<metadata_completion>(completion.get()), tracks_, autofill_rows_,
                         context_);
  } catch (...) {
    completion->on_completion(sub_dialog_cancelled);
    throw;
  }
}

void properties_dialog::take_autofill(std::uint32_t status) {
  std::shared_ptr<edited_field_list> filled = std::move(autofill_rows_);
  if (status != sub_dialog_accepted || !filled) return;
  rows_.replace_all(std::move(*filled));
  fill_metadata_list();
  mark_modified();
}

void properties_dialog::open_split_values() {
  if (is_busy()) return;
  split_mask_ = selection_mask();
  split_settings_ = std::make_shared<split_settings>();
  split_settings_->separators = config::value_split_separators.get();
  split_settings_->split_line_breaks = config::value_split_option.get();
  service_ptr<operation_completion> completion = start_operation(split_values);
  try {
    open_split_values_dialog(handle(), service_ptr<metadata_completion>(completion.get()), split_settings_);
  } catch (...) {
    completion->on_completion(sub_dialog_cancelled);
    throw;
  }
}

void properties_dialog::take_split_values(std::uint32_t status) {
  const std::shared_ptr<split_settings> settings = std::move(split_settings_);
  const std::vector<bool> mask = std::move(split_mask_);
  split_mask_.clear();
  if (status != sub_dialog_accepted || !settings) return;
  config::value_split_separators.set(settings->separators.c_str());
  config::value_split_option.set(settings->split_line_breaks);
  rows_.split_rows(mask, split_separators(settings->separators, settings->split_line_breaks));
  for (std::size_t row = 0; row < mask.size() && row < rows_.rows().size(); ++row)
    if (mask[row]) redraw_row(row);
}
