// Where tesmar_scripted_service and its tests meet: a key of the machine's registry apart from
// the Data key, so that nothing written there looks like a publication to a client.
//   Answer        REG_BINARY  what the service publishes as ProcList, at start and after every
//                             flag it takes (an empty value publishes an empty ProcList; no value,
//                             no publication)
//   UpdateCount   REG_DWORD   UpdateLists taken so far; Update<n> holds the n-th (from 0)
//   RefreshCount  REG_DWORD   RefreshFlags taken so far
#pragma once

namespace tesmar::testing::scripted_service {

inline constexpr char16_t kScriptKeyPath[] = u"SOFTWARE\\TesmarTest\\ScriptedService";
inline constexpr char16_t kAnswerValue[] = u"Answer";
inline constexpr char16_t kUpdateCountValue[] = u"UpdateCount";
inline constexpr char16_t kRefreshCountValue[] = u"RefreshCount";
inline constexpr char16_t kUpdateValuePrefix[] = u"Update";

}  // namespace tesmar::testing::scripted_service
