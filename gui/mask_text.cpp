#include "mask_text.h"

#include <algorithm>

namespace tesmar::gui {

QString FormatMask(uint32_t mask, uint32_t processorCount) {
  uint32_t count = std::min(processorCount, kMaskBits);
  QString text;
  text.reserve(static_cast<qsizetype>(count + count / 2));
  for (uint32_t p = 0; p < count; ++p) {
    text += (mask & ProcessorBit(p)) ? u'1' : u'0';
    bool groupEnds = p % 4 == 3;
    if (groupEnds && (p < 12 || p + 1 < count)) text += QStringLiteral("  ");
  }
  return text;
}

uint32_t RoundRobinSequence::Next() {
  // The candidate walks up from 0 and starts again at 0 once no set bit lies at or above it.
  for (;;) {
    uint32_t k = candidate_;
    candidate_ = k + 1;
    if (candidate_ >= kMaskBits || (mask_ >> candidate_) == 0) candidate_ = 0;
    if (mask_ & ProcessorBit(k)) return k;
  }
}

}  // namespace tesmar::gui
