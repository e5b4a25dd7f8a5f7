#include "support/scripted_data_key.h"

#include "packet/data_key.h"
#include "platform/errors.h"
#include "platform/registry.h"
#include "platform/threading.h"
#include "support/wait_until.h"

namespace tesmar::testing {
namespace {

platform::OwnedKey OpenDataKey() {
  platform::OwnedKey key;
  RegOpenKeyExW(HKEY_LOCAL_MACHINE, packet::kDataKeyPath, 0, KEY_ALL_ACCESS, key.Receive());
  return key;
}

void WriteProcList(HKEY key, const TestPacket& packet) {
  RegSetValueExW(key, packet::kProcListValue, 0, REG_BINARY,
                 reinterpret_cast<const BYTE*>(packet.Bytes()),
                 static_cast<DWORD>(packet.Length()));
}

}  // namespace

ScriptedDataKey::ScriptedDataKey() : ScriptedDataKey(PassScript()) {}

ScriptedDataKey::ScriptedDataKey(PassScript script)
    : script_(std::move(script)),
      key_(OpenDataKey()),
      changed_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      counter_(key_.get()),
      thread_([this] { Run(); }) {}

ScriptedDataKey::~ScriptedDataKey() {
  {
    std::lock_guard lock(mutex_);
    done_ = true;
    holdsReleased_ = holdsBegun_;
  }
  stateChanged_.notify_all();
  SetEvent(changed_.get());
  thread_.join();
}

void ScriptedDataKey::Publish(const TestPacket& packet) {
  std::lock_guard lock(mutex_);
  counter_.BeginPass();
  WriteProcList(key_.get(), packet);
  counter_.EndPass();
}

void ScriptedDataKey::AnswerWith(Answer answer) {
  {
    std::lock_guard lock(mutex_);
    standing_ = std::move(answer);
    answering_ = true;
  }
  SetEvent(changed_.get());  // a flag raised while nobody answered is served now
}

void ScriptedDataKey::QueueAnswer(Answer answer) {
  {
    std::lock_guard lock(mutex_);
    queued_.push_back(std::move(answer));
    answering_ = true;
  }
  SetEvent(changed_.get());
}

void ScriptedDataKey::StopAnswering() {
  std::lock_guard lock(mutex_);
  answering_ = false;
}

bool ScriptedDataKey::WaitUntilHeld() {
  std::unique_lock lock(mutex_);
  return stateChanged_.wait_for(lock, kGenerousWait,
                                [this] { return holdsBegun_ > holdsReleased_; });
}

void ScriptedDataKey::Release() {
  {
    std::lock_guard lock(mutex_);
    holdsReleased_ = holdsBegun_;
  }
  stateChanged_.notify_all();
}

bool ScriptedDataKey::WaitUntilPassesEnded(int count) {
  std::unique_lock lock(mutex_);
  return stateChanged_.wait_for(lock, kGenerousWait, [&] { return passesEnded_ >= count; });
}

std::vector<TestPacket> ScriptedDataKey::UpdateListsTaken() {
  std::lock_guard lock(mutex_);
  return updateListsTaken_;
}

int ScriptedDataKey::PassesEnded() {
  std::lock_guard lock(mutex_);
  return passesEnded_;
}

void ScriptedDataKey::Run() {
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (done_) return;
    }
    // Armed before the flags are looked at, so that a flag raised after the look wakes the wait.
    bool armed = RegNotifyChangeKeyValue(key_.get(), FALSE, REG_NOTIFY_CHANGE_LAST_SET,
                                         changed_.get(), TRUE) == ERROR_SUCCESS;
    if (TakeAndServe()) continue;
    WaitForSingleObject(changed_.get(), armed ? INFINITE : 10);
  }
}

bool ScriptedDataKey::TakeAndServe() {
  std::unique_lock lock(mutex_);
  if (!answering_ || done_) return false;
  // As the service does, UpdateList is read before the flag goes down.
  packet::ValueBytes request;
  bool update = packet::TakeRaisedFlag(key_.get(), packet::kUpdateFlagValue, counter_, [&] {
    request = packet::ReadWholeValue(key_.get(), packet::kUpdateListValue);
  });
  if (!update && !packet::TakeRaisedFlag(key_.get(), packet::kRefreshFlagValue, counter_)) {
    return false;
  }
  // The pass is under way and its flag taken: only now is it decided what it does.
  if (update) updateListsTaken_.emplace_back(request.bytes.get(), request.size);
  Answer answer = script_ ? script_(update ? &updateListsTaken_.back() : nullptr) : NextAnswer();
  if (answer.hold) {
    const int hold = ++holdsBegun_;
    stateChanged_.notify_all();
    stateChanged_.wait(lock, [&] { return holdsReleased_ >= hold; });
  }
  if (answer.publish) WriteProcList(key_.get(), *answer.publish);
  counter_.EndPass();
  ++passesEnded_;
  stateChanged_.notify_all();
  return true;
}

ScriptedDataKey::Answer ScriptedDataKey::NextAnswer() {
  Answer next = standing_;
  if (!queued_.empty()) {
    std::swap(next, queued_.front());
    queued_.pop_front();
  }
  return next;
}

}  // namespace tesmar::testing
