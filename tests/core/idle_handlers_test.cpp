#include "core/idle_handlers.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

class recording_handler : public idle_handler {
public:
  recording_handler(char name, std::string& log) : name_(name), log_(log) {}
  void on_idle() override {
    log_ += name_;
    if (on_call) on_call();
  }
  std::function<void()> on_call;

private:
  char name_;
  std::string& log_;
};

TEST(IdleHandlers, EveryHandlerRunsOncePerPassNewestFirstAndOneRemovingItselfRunsOnce) {
  idle_handler_list handlers;
  std::string log;
  recording_handler a('a', log), b('b', log), once('o', log);
  handlers.add(&a);
  handlers.add(&b);
  handlers.add(&once);
  once.on_call = [&] { handlers.remove(&once); };
  handlers.run_pass();
  handlers.run_pass();
  EXPECT_EQ(log, "obaba");
}

TEST(IdleHandlers, AHandlerRemovedDuringAPassIsNotCalledLaterInItEvenWhenRegisteredTwice) {
  idle_handler_list handlers;
  std::string log;
  recording_handler victim('v', log), remover('r', log);
  handlers.add(&victim);
  handlers.add(&victim);
  handlers.add(&remover);
  remover.on_call = [&] { handlers.remove(&victim); };
  handlers.run_pass();
  EXPECT_EQ(log, "r");
}

TEST(IdleHandlers, AHandlerAddedDuringAPassRunsFromTheNextPassOn) {
  idle_handler_list handlers;
  std::string log;
  recording_handler adder('a', log), late('l', log);
  handlers.add(&adder);
  adder.on_call = [&] {
    handlers.add(&late);
    adder.on_call = nullptr;
  };
  handlers.run_pass();
  handlers.run_pass();
  EXPECT_EQ(log, "ala");
}

}  // namespace
