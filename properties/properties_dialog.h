// The tag editor: a modeless, resizable window over the tracks it was opened
// for, with the metadata tab (one editable row per field) and the properties
// tab (read-only technical information). Any number may be open at once,
// each on its own tracks.
//
// The dialog runs one operation at a time, a sub-dialog or a background
// metadata operation (reload, apply, tag removal), and is disabled while it
// runs; the operation's completion, on the main thread, brings it back.
// Main thread only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "metadata/metadata_io.h"
#include "metadata/track_handle.h"
#include "properties/dialog_key_filters.h"
#include "properties/edited_rows.h"
#include "properties/field_display_context.h"
#include "properties/info_cache.h"
#include "properties/split_values_dialog.h"
#include "ui/framework/dialog_object.h"
#include "ui/framework/dialog_resizer.h"
#include "ui/framework/inplace_edit_host.h"
#include "ui/framework/list_view_ctrl.h"
#include "ui/framework/modeless_dialog_registration.h"
#include "ui/framework/window_placement.h"

class properties_dialog final : public dialog_object {
public:
  // Which tab the dialog opens on.
  enum open_mode : std::uint32_t { by_shift_key = 0, metadata_tab = 1, properties_tab = 2 };

  // What a pending operation is, and so what its completion does.
  enum operation_kind : std::uint32_t {
    edit_field = 0,
    add_field = 1,
    table_edit = 2,
    auto_fill = 3,
    apply_only = 4,
    apply_and_close = 5,
    apply_and_reload = 6,
    reload_info = 7,
    remove_tags_kind = 9,
    split_values = 10,
    // The reload that follows the Apply of apply_and_reload: the files were
    // written, and a failure to show them must say so.
    reload_after_apply = 11,
  };

  // Creates and shows the window; exception_win32 when it cannot be made.
  // The dialog deletes itself once its window is gone.
  static properties_dialog* open(const track_handle_list& tracks, open_mode mode, HWND owner,
                                 service_ptr<info_cache> loaded);

  bool process_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result,
                       DWORD map_id) override;
  void on_final_message(HWND) override { delete this; }

  // The operations the lists and sub-dialogs use.
  bool is_busy() const;
  // Whether a load, write or tag removal it started is still running.
  bool has_pending_operation() const noexcept { return bool(pending_); }
  void mark_modified();
  // Shows the tracks as the info cache holds them. When that fails (memory,
  // say), the user is told `failure_text_id`, whose {error} says why, and
  // the dialog closes; false then.
  bool rebuild(const char* failure_text_id);
  void reload(operation_kind kind = reload_info);
  void apply(operation_kind kind);
  void remove_tags();
  // Whether the caller may go on; Yes at the prompt starts `kind` instead.
  bool ask_save(operation_kind kind);
  bool is_modified() const noexcept { return modified_; }
  // The dialogs whose windows exist, oldest first (main thread only).
  static const std::vector<properties_dialog*>& open_dialogs() noexcept;
  const edited_rows& rows() const noexcept { return rows_; }

  // Told how one operation ended, on the main thread. Filled by a metadata
  // operation on its worker, the cache it carries reaches the dialog only
  // here, after the worker is done with it.
  class operation_completion;

private:
  // The in-place editor of a list's value column: the metadata list's sets
  // the row for every track, the properties list's only shows the text.
  class cell_editor final : public inplace_edit_host {
  public:
    cell_editor(properties_dialog& dialog, bool metadata) noexcept : dialog_(dialog), metadata_(metadata) {}

  protected:
    HWND get_list() override { return metadata_ ? dialog_.metadata_list_ : dialog_.info_list_; }
    int get_column_count() override { return 2; }
    bool is_column_editable(int column) override { return column == 1; }
    unsigned get_edit_flags(int, int) override;
    bool get_cell_text(int item, int column, std::string& out, unsigned& line_count) override;
    void set_cell_text(int item, int column, const char* text) override;
    // One cell at a time: Tab and Enter end the edit.
    bool next_cell(int&, int&, unsigned) override { return false; }

  private:
    properties_dialog& dialog_;
    const bool metadata_;
  };

  properties_dialog(const track_handle_list& tracks, open_mode mode, service_ptr<info_cache> loaded);
  ~properties_dialog() override;

  // Life cycle (properties_dialog.cpp).
  void on_init_dialog();
  void on_destroy();
  void on_command(UINT id);
  service_ptr<operation_completion> start_operation(operation_kind kind, service_ptr<info_cache> next = {});
  // An operation that could not start (memory, say): the dialog is as it
  // was before start_operation, with `next` as its cache.
  void abandon_operation(service_ptr<info_cache> next);
  void complete(operation_kind kind, std::uint32_t status, service_ptr<info_cache> next);
  void update_caption();
  void close_window();
  void close_for_failure(const char* text_id, const char* reason);
  // What a failure to show the tracks after operation `kind`, ended with
  // `status`, tells the user was written.
  static const char* show_failure_text(operation_kind kind, std::uint32_t status) noexcept;

  // The two lists (properties_dialog_lists.cpp).
  void place_lists(HWND window);
  void set_up_lists();
  void store_column_widths();
  void show_tab(int tab);
  void step_tab();
  void fill_metadata_list();
  void redraw_row(std::size_t index);
  void fill_properties_list();
  bool on_notify(const NMHDR& header, LRESULT& result);
  bool on_metadata_key(WORD key);
  bool on_properties_key(WORD key);
  void show_menu(POINT screen, HWND list, bool tools);
  void run_metadata_command(UINT id);
  std::vector<bool> selection_mask() const;
  std::size_t selected_count(HWND list) const;
  void copy_rows();
  void paste_rows();
  void paste_fields();
  void copy_properties();
  void edit_selected();
  void add_new_field();
  void append_row(std::size_t index);
  void begin_cell_edit(HWND list, int item);
  void commit_cell_edit();
  void cancel_cell_edit();

  // What a sub-dialog (field editor, table edit, automatic filling, split
  // values) ended with, taken into the rows; a failure closes the dialog.
  void take_sub_dialog_result(operation_kind kind, std::uint32_t status) noexcept;
  void take_edited_field(std::uint32_t status);
  // The sub-dialogs of several rows (properties_dialog_tools.cpp).
  void open_table_edit(const std::vector<int>& items);
  void open_autofill();
  void open_split_values();
  void take_table_edit(std::uint32_t status);
  void take_autofill(std::uint32_t status);
  void take_split_values(std::uint32_t status);

  track_handle_list tracks_;
  field_display_context context_;
  open_mode mode_;
  bool read_only_ = false;
  bool modified_ = false;
  bool close_without_prompt_ = false;

  HWND tabs_ = nullptr;
  HWND metadata_list_ = nullptr;
  HWND info_list_ = nullptr;
  HWND apply_button_ = nullptr;
  dialog_resizer resizer_;
  modeless_dialog_registration registration_;
  window_placement_keeper placement_;
  std::unique_ptr<tab_key_filter> tab_keys_;
  std::optional<context_help_filter> help_key_;
  list_view_ctrl metadata_scrolling_;
  list_view_ctrl info_scrolling_;
  cell_editor metadata_editor_{*this, true};
  cell_editor info_editor_{*this, false};

  edited_rows rows_;
  std::vector<std::string> item_names_;
  service_ptr<info_cache> info_source_;
  service_ptr<operation_completion> pending_;
  // What the running Apply writes, released at its completion.
  service_ptr<edited_fields_filter> applying_;
  // The field a field edit dialog works on, and its row (-1: a new field).
  edited_field_ptr field_under_edit_;
  std::int64_t field_row_ = -1;
  // A table edit's selected rows and the copies it edits.
  std::vector<bool> table_mask_;
  edited_field_list table_fields_;
  // The copy of all rows an automatic fill works on.
  std::shared_ptr<edited_field_list> autofill_rows_;
  // The separators a split values dialog edits, and the rows it splits.
  std::shared_ptr<split_settings> split_settings_;
  std::vector<bool> split_mask_;
};

class properties_dialog::operation_completion : public metadata_completion {
public:
  void set(properties_dialog* dialog, operation_kind kind, service_ptr<info_cache> next) {
    dialog_ = dialog;
    kind_ = kind;
    next_ = std::move(next);
  }
  // The dialog no longer waits for this operation (it closed, or started
  // another): a late completion does nothing.
  void detach() noexcept { dialog_ = nullptr; }
  info_cache* next() const noexcept { return next_.get(); }

  void on_completion(std::uint32_t status) override {
    properties_dialog* dialog = std::exchange(dialog_, nullptr);
    service_ptr<info_cache> next = std::move(next_);
    if (dialog != nullptr) dialog->complete(kind_, status, std::move(next));
  }

private:
  properties_dialog* dialog_ = nullptr;
  operation_kind kind_ = edit_field;
  service_ptr<info_cache> next_;
};
