// Finding entries by image name, and listing the named entries one call at a time as
// "name (0x<id>)" texts.
#include <algorithm>
#include <cstdint>
#include <iterator>

#include "Cpumask.h"
#include "platform/handles.h"
#include "platform/utf16.h"
#include "process_entry.h"

namespace tesmar::affinity {
namespace {

constexpr std::size_t kCursorTextUnits = 256;

// Process-wide, as callers expect; reset only by a call with the continue flag 0.
struct EnumerationCursor {
  LONG visitedCount = 0;
  std::size_t offset = 0;
  const ProcessEntry* currentEntry = nullptr;
  LONG capturedCount = 0;
  // The snapshot of the restarting call: the offset means nothing in any other buffer.
  const ProcessSnapshot* snapshot = nullptr;
  WCHAR text[kCursorTextUnits] = {};
};

EnumerationCursor cursor;

// "%s (0x%x)" into the cursor's text, cut short where it would not fit; a cut never keeps the
// first half of a surrogate pair.
void FormatNameAndId(LPCWSTR name, uint32_t processId) {
  constexpr WCHAR kOpening[] = u" (0x";
  WCHAR suffix[16];
  std::size_t suffixLength = 0;
  for (std::size_t k = 0; k + 1 < std::size(kOpening); ++k) suffix[suffixLength++] = kOpening[k];
  WCHAR digits[8];
  std::size_t digitCount = 0;
  do {
    digits[digitCount++] = u"0123456789abcdef"[processId & 0xF];
    processId >>= 4;
  } while (processId != 0);
  while (digitCount > 0) suffix[suffixLength++] = digits[--digitCount];
  suffix[suffixLength++] = u')';

  constexpr std::size_t kCapacity = kCursorTextUnits - 1;
  std::size_t length = tesmar::platform::CutLength(name, kCapacity);
  std::copy_n(name, length, cursor.text);
  if (name[length] != u'\0') {
    // The name alone fills the text: no fragment of the id follows it.
    cursor.text[length] = u'\0';
    return;
  }
  for (std::size_t k = 0; k < suffixLength && length < kCapacity; ++k) {
    cursor.text[length++] = suffix[k];
  }
  cursor.text[length] = u'\0';
}

void AdvanceCursor(const ProcessSnapshot* snapshot) {
  cursor.offset += NextEntryDistance(cursor.currentEntry);
  cursor.currentEntry = EntryAt(snapshot->InfoBuffer, cursor.offset);
}

}  // namespace
}  // namespace tesmar::affinity

using namespace tesmar::affinity;

ProcessEntry* AffinFindProcessByName(LPCWSTR name, const ProcessSnapshot* snapshot) noexcept {
  if (!name || !snapshot) return nullptr;
  const ProcessEntry* entry = EntryAt(snapshot->InfoBuffer, 0);
  for (LONG visited = 0; visited < snapshot->ProcessCount; ++visited) {
    LPCWSTR entryName = ProcessEntryImageName(entry);
    if (entryName && lstrcmpW(entryName, name) == 0) return const_cast<ProcessEntry*>(entry);
    uint32_t distance = NextEntryDistance(entry);
    if (distance == 0) break;
    entry = EntryAt(entry, distance);
  }
  return nullptr;
}

LPCWSTR AffinGetNextProcessByName(const ProcessSnapshot* snapshot, INT continueFlag,
                                  DWORD* processId) noexcept {
  if (!snapshot) return nullptr;
  if (continueFlag == 0) {
    cursor.visitedCount = 0;
    cursor.offset = 0;
    cursor.currentEntry = EntryAt(snapshot->InfoBuffer, 0);
    cursor.capturedCount = snapshot->ProcessCount;
    cursor.snapshot = snapshot;
  } else if (snapshot != cursor.snapshot) {
    return nullptr;
  }
  for (;;) {
    if (cursor.visitedCount >= cursor.capturedCount) return nullptr;
    ++cursor.visitedCount;
    const ProcessEntry* entry = cursor.currentEntry;
    if (processId) *processId = EntryProcessId(entry);
    LPCWSTR name = ProcessEntryImageName(entry);
    if (name) {
      FormatNameAndId(name, EntryProcessId(entry));
      AdvanceCursor(snapshot);
      return cursor.text;
    }
    if (NextEntryDistance(entry) == 0) return nullptr;
    AdvanceCursor(snapshot);
  }
}
