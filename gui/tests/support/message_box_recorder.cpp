#include "message_box_recorder.h"

namespace tesmar::gui::testing {
namespace {

int FirstButton(UINT flags) {
  return (flags & MB_TYPEMASK) == MB_YESNO ? IDYES : IDOK;
}

}  // namespace

MessageBoxRecorder::MessageBoxRecorder() {
  previous_ = SetMessageBoxHandler([this](const MessageBoxCall& call) {
    calls_.push_back(call);
    if (answers_.empty()) return FirstButton(call.flags);
    int answer = answers_.front();
    answers_.pop_front();
    return answer;
  });
}

MessageBoxRecorder::~MessageBoxRecorder() {
  SetMessageBoxHandler(previous_);
}

std::vector<QString> MessageBoxRecorder::texts() const {
  std::vector<QString> texts;
  for (const MessageBoxCall& call : calls_) texts.push_back(call.text);
  return texts;
}

}  // namespace tesmar::gui::testing
