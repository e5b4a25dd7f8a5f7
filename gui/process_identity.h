// Which process a record stands for, across packets: its id and its name (case-sensitive). The
// order of records changes from one packet to the next as processes come and go, so an index
// names a process only within the copy it was taken from.
#pragma once

#include <QString>

#include "TesmarApi.h"

namespace tesmar::gui {

struct ProcessIdentity {
  DWORD id = 0;
  QString name;
  bool known = false;  // false: no process (no record)

  bool operator==(const ProcessIdentity&) const = default;
};

inline ProcessIdentity IdentityOf(TesmarRecord* record) {
  if (!record) return {};
  LPCWSTR name = TesmarGetProcName(record);
  return {TesmarGetProcId(record), QString::fromUtf16(name ? name : u""), true};
}

}  // namespace tesmar::gui
