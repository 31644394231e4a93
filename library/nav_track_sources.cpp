#include "library/nav_track_sources.h"

#include <windows.h>

#include <map>
#include <vector>

#include "core/service_factory.h"
#include "library/dir_listing.h"
#include "metadata/input_dispatch.h"
#include "metadata/track_handle_registry.h"

track_source_ptr track_list_source_create(const track_handle_list& handles) {
  return playback_item_list_create(handles);
}

track_source_ptr single_track_source_create(const track_handle_ptr& handle) {
  return playback_item_list_create({handle});
}

bool is_supported_audio_path(const char* path) {
  claimant_list claimants;
  return input_dispatch::collect_by_path(claimants, path, false);
}

namespace {

class concat_source : public playback_item_list {
public:
  std::vector<track_source_ptr> children;

  service_ptr<playback_item> first() override {
    prepare();
    return first_from(0);
  }
  service_ptr<playback_item> last() override {
    prepare();
    return last_before(children.size());
  }
  service_ptr<playback_item> find(const track_handle* handle) override {
    for (service_ptr<playback_item> item = first(); item; item = item->next())
      if (item->get_handle().get() == handle) return item;
    return {};
  }

  service_ptr<playback_item> first_from(std::size_t index);
  service_ptr<playback_item> last_before(std::size_t end);

protected:
  // Folder sources list their folder here.
  virtual void prepare() {}
};

class concat_item : public playback_item {
public:
  service_ptr<playback_item_list> owner;  // keeps the concatenation alive
  std::size_t index = 0;
  service_ptr<playback_item> inner;

  track_handle_ptr get_handle() override { return inner->get_handle(); }
  service_ptr<playback_item> next() override {
    if (service_ptr<playback_item> step = inner->next()) return wrap(step, index);
    return concat().first_from(index + 1);
  }
  service_ptr<playback_item> previous() override {
    if (service_ptr<playback_item> step = inner->previous()) return wrap(step, index);
    return concat().last_before(index);
  }

  static service_ptr<playback_item> wrap_in(concat_source* owner, const service_ptr<playback_item>& inner,
                                            std::size_t index) {
    service_ptr<concat_item> item(new service_counted<concat_item>());
    item->owner = owner;
    item->index = index;
    item->inner = inner;
    return service_ptr<playback_item>(item.get());
  }

private:
  concat_source& concat() { return *static_cast<concat_source*>(owner.get()); }
  service_ptr<playback_item> wrap(const service_ptr<playback_item>& step, std::size_t at) {
    return wrap_in(&concat(), step, at);
  }
};

service_ptr<playback_item> concat_source::first_from(std::size_t index) {
  for (; index < children.size(); ++index)
    if (service_ptr<playback_item> item = children[index]->first()) return concat_item::wrap_in(this, item, index);
  return {};
}

service_ptr<playback_item> concat_source::last_before(std::size_t end) {
  while (end-- > 0)
    if (service_ptr<playback_item> item = children[end]->last()) return concat_item::wrap_in(this, item, end);
  return {};
}

class folder_source : public concat_source {
public:
  std::wstring path;
  std::uint32_t depth = 0;

protected:
  void prepare() override {
    if (scanned_) return;
    scanned_ = true;  // a listing that fails is not tried again
    scan();
  }

private:
  void scan() {
    const std::string prefix = "file://" + nav_utf8(path) + "\\";
    std::map<std::wstring, track_handle_ptr> files;
    wide_text_list subfolders;
    const input_dispatch::path_claim_test audio;
    dir_listing(path, [&](const dir_entry& entry) {
      const std::wstring name(entry.name);
      if (entry.is_folder()) {
        // Directory links are passed over: they may lead back up the tree.
        if ((entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) subfolders.push_back(name);
        return;
      }
      const std::string full = prefix + nav_utf8(name);
      if (audio.is_claimed(full.c_str()))
        files[name] = track_handle_registry::get_handle(track_location(full.c_str(), 0));
    });

    track_handle_list handles;
    for (auto& [name, handle] : files) handles.push_back(handle);
    children.push_back(track_list_source_create(handles));
    if (depth + 1 >= folder_source_max_depth) return;
    const std::wstring base = !path.empty() && path.back() == L'\\' ? path : path + L"\\";
    for (const std::wstring& name : subfolders) children.push_back(folder_source_create(base + name, depth + 1));
  }

  bool scanned_ = false;
};

}  // namespace

concat_source_builder::concat_source_builder() : source_(new service_counted<concat_source>()) {}

void concat_source_builder::append(const track_source_ptr& child) {
  static_cast<concat_source*>(source_.get())->children.push_back(child);
}

track_source_ptr folder_source_create(const std::wstring& native_path, std::uint32_t depth) {
  service_ptr<folder_source> source(new service_counted<folder_source>());
  source->path = native_path;
  source->depth = depth;
  return track_source_ptr(source.get());
}
