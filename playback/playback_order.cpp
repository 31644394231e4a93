#include "playback/playback_order.h"

#include "core/service_factory.h"
#include "core/startup_services.h"

namespace {

class array_item_list;

class array_item : public playback_item {
public:
  void bind(array_item_list* list, std::size_t index);
  track_handle_ptr get_handle() override;
  service_ptr<playback_item> previous() override;
  service_ptr<playback_item> next() override;

private:
  service_ptr<playback_item_list> list_;
  std::size_t index_ = 0;
};

class array_item_list : public playback_item_list {
public:
  track_handle_list handles;

  service_ptr<playback_item> item_at(std::size_t index) {
    service_ptr<array_item> item(new service_counted<array_item>());
    item->bind(this, index);
    return service_ptr<playback_item>(item.get());
  }
  service_ptr<playback_item> first() override { return handles.empty() ? service_ptr<playback_item>() : item_at(0); }
  service_ptr<playback_item> last() override { return handles.empty() ? service_ptr<playback_item>() : item_at(handles.size() - 1); }
  service_ptr<playback_item> find(const track_handle* handle) override {
    for (std::size_t i = 0; i < handles.size(); ++i)
      if (handles[i].get() == handle) return item_at(i);
    return {};
  }
};

void array_item::bind(array_item_list* list, std::size_t index) {
  list_ = list;
  index_ = index;
}

track_handle_ptr array_item::get_handle() { return static_cast<array_item_list*>(list_.get())->handles[index_]; }

service_ptr<playback_item> array_item::previous() {
  if (index_ == 0) return {};
  return static_cast<array_item_list*>(list_.get())->item_at(index_ - 1);
}

service_ptr<playback_item> array_item::next() {
  auto* list = static_cast<array_item_list*>(list_.get());
  if (index_ + 1 >= list->handles.size()) return {};
  return list->item_at(index_ + 1);
}

}  // namespace

service_ptr<playback_item_list> playback_item_list_create(const track_handle_list& handles) {
  service_ptr<array_item_list> list(new service_counted<array_item_list>());
  list->handles = handles;
  return service_ptr<playback_item_list>(list.get());
}

void playback_order_api::set_source(const service_ptr<playback_item_list>& source) {
  source_ = source ? source : playback_item_list_create({});
}

bool playback_order_api::get_next(std::uint32_t command, service_ptr<playback_item>& out) {
  service_ptr<playback_item> candidate;
  switch (command) {
  case command_play:
    candidate = current_ ? current_ : source_->first();
    break;
  case command_next:
    if (!current_) {
      candidate = source_->first();
    } else {
      candidate = current_->next();
      if (!candidate && repeat_) candidate = source_->first();
    }
    break;
  case command_previous:
    if (!current_) {
      candidate = source_->last();
    } else {
      candidate = current_->previous();
      if (!candidate && repeat_) candidate = source_->last();
    }
    break;
  case command_continue:
    if (const service_ptr<playback_item> from = last_handed_out_ ? last_handed_out_ : current_) {
      candidate = from->next();
      if (!candidate && repeat_) candidate = source_->first();
    } else {
      // Nothing was played yet: continuing starts at the beginning.
      candidate = source_->first();
    }
    break;
  default:
    return false;
  }
  last_handed_out_ = candidate;
  if (!candidate) return false;
  out = candidate;
  return true;
}

void playback_order_api::reset() {
  source_ = playback_item_list_create({});
  current_.reset();
  last_handed_out_.reset();
}

namespace playback_order {

playback_order_api& get() {
  static playback_order_api order;
  return order;
}

void shutdown() { get().reset(); }

}  // namespace playback_order
