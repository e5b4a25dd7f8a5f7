// Writes the seed corpus of packet_request_fuzzer into the folder given as its argument: packets
// of the fuzz machine with watched records of every kind, and short and foreign ones, sent with
// each kind of base and pass, over the publication and over a broken or edited ProcList.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "fuzz_machine.h"
#include "packet/packet_view.h"
#include "packet_engine.h"

namespace {

using tesmar::packet::ProcessRecord;

std::vector<std::byte> BuildPacket(HKEY dataKey) {
  LivePacket* packet = ServerPacketOpen(dataKey);
  if (!packet) return {};
  auto* bytes = reinterpret_cast<const std::byte*>(packet);
  std::vector<std::byte> copy(bytes, bytes + tesmar::packet::PacketSize(packet->ProcessCount));
  ServerPacketClose(packet);
  return copy;
}

ProcessRecord& RecordAt(std::vector<std::byte>& packet, uint32_t index) {
  return *tesmar::packet::MutablePacketView(packet.data(), packet.size()).RecordOrNull(index);
}

void Watch(ProcessRecord& record, uint32_t mask, int32_t threadCount) {
  record.Watched = 1;
  record.ProcAffinity = mask;
  record.PriorityClass = 0x80;
  record.BoostDisabled = 1;
  record.ThreadCount = threadCount;
  for (uint32_t k = 0; k < tesmar::packet::MaxPacketThreads; ++k) {
    record.ThreadAffinity[k] = mask >> (k % 2);
    record.ThreadPriority[k] = static_cast<int32_t>(k % 5) - 2;
    record.ThreadIdealProcessor[k] = k % 5;
  }
}

bool Save(const std::filesystem::path& folder, const std::string& name,
          const std::vector<uint8_t>& bytes) {
  std::ofstream file(folder / name, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(file);
}

std::span<const uint8_t> Bytes(const std::vector<std::byte>& packet) {
  return {reinterpret_cast<const uint8_t*>(packet.data()), packet.size()};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s CORPUS_FOLDER\n", argv[0]);
    return 2;
  }
  std::filesystem::path folder = argv[1];
  std::filesystem::create_directories(folder);
  auto machine = tesmar::service::fuzzing::InstallFuzzMachine();
  HKEY dataKey = tesmar::service::fuzzing::OpenFuzzDataKey();
  std::vector<std::byte> built = BuildPacket(dataKey);
  if (built.empty()) return 1;
  uint32_t count = tesmar::packet::PacketView(built.data(), built.size()).RecordCount();

  std::vector<std::byte> allWatched = built;
  for (uint32_t i = 0; i < count; ++i) Watch(RecordAt(allWatched, i), 0x3, 2);

  std::vector<std::byte> mixed = built;
  Watch(RecordAt(mixed, 1), 0x5, 5);   // more threads than a.exe has
  Watch(RecordAt(mixed, 2), 0x2, -1);  // every index
  Watch(RecordAt(mixed, 3), 0xF, 300);
  Watch(RecordAt(mixed, 5), 0x1, 1);

  std::vector<std::byte> repeated = built;  // one record many times, the last differing
  const std::vector<std::byte> last(built.end() - tesmar::packet::kRecordSize, built.end());
  for (int copy = 0; copy < 8; ++copy) repeated.insert(repeated.end(), last.begin(), last.end());
  reinterpret_cast<tesmar::packet::PacketHeader*>(repeated.data())->ProcessCount = count + 8;
  for (uint32_t i = count; i < count + 8; ++i) Watch(RecordAt(repeated, i), 0x1 << (i % 4), 3);

  std::vector<std::byte> shortValue = allWatched;
  shortValue.resize(tesmar::packet::PacketSize(2) + 100);

  using namespace tesmar::service::fuzzing;
  const std::vector<uint8_t> none;
  const std::vector<uint8_t> garbage = {'n', 'o', ' ', 'p', 'a', 'c', 'k', 'e', 't'};
  const uint8_t bases[] = {0,
                           kNameLatestPublication | kTakeAsTheService,
                           kNameEarlierPublication | kRefreshAfter,
                           kNameUnknownPublication,
                           kBrokenBase | kTakeAsTheService,
                           kOtherBytesBase};
  const std::pair<const char*, const std::vector<std::byte>*> requests[] = {
      {"built", &built},
      {"all-watched", &allWatched},
      {"mixed", &mixed},
      {"repeated", &repeated},
      {"short", &shortValue}};
  bool saved = true;
  for (const auto& [name, request] : requests) {
    for (uint8_t choices : bases) {
      saved &= Save(folder, std::string(name) + "-" + std::to_string(choices),
                    JoinFuzzInput(choices, none, Bytes(*request)));
    }
  }
  // Over a broken ProcList, and over one another client's request left watched.
  saved &= Save(folder, "broken-proclist",
                JoinFuzzInput(kNameLatestPublication | kRefreshAfter, garbage, Bytes(mixed)));
  saved &= Save(
      folder, "edited-proclist",
      JoinFuzzInput(kNameLatestPublication | kTakeAsTheService, Bytes(allWatched), Bytes(mixed)));
  saved &= Save(folder, "no-request", JoinFuzzInput(kRefreshAfter, garbage, garbage));
  return saved ? 0 : 1;
}
