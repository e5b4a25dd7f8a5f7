// Answers the GUI's message boxes in a test, in place of the operator, and keeps each box shown:
// its owner, text, caption and flags.
#pragma once

#include <deque>
#include <vector>

#include "message_box.h"
#include "qstring_printer.h"

namespace tesmar::gui::testing {

class MessageBoxRecorder {
 public:
  MessageBoxRecorder();
  ~MessageBoxRecorder();
  MessageBoxRecorder(const MessageBoxRecorder&) = delete;
  MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

  // The answers to give, in order; once they run out, the first button of each box.
  void Answer(int result) { answers_.push_back(result); }

  const std::vector<MessageBoxCall>& calls() const { return calls_; }
  std::vector<QString> texts() const;
  void clear() { calls_.clear(); }

 private:
  std::deque<int> answers_;
  std::vector<MessageBoxCall> calls_;
  MessageBoxHandler previous_;
};

}  // namespace tesmar::gui::testing
