// The permissions of a machine root the layer makes, and of what it makes in it: chosen, not
// left to the umask of whoever happened to be first.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "platform/errors.h"
#include "platform/registry.h"
#include "platform/service.h"
#include "platform/threading.h"
#include "support/temporary_machine_root.h"

namespace {

mode_t ModeOf(const std::string& path) {
  struct stat file {};
  EXPECT_EQ(stat(path.c_str(), &file), 0) << path;
  return file.st_mode & 07777;
}

class MachineRootModes : public ::testing::Test {
 protected:
  void SetUp() override {
    fresh_ = parent_.path() + "/machine";
    setenv("TESMAR_ROOT", fresh_.c_str(), 1);
    previousMask_ = umask(0);  // the widest a creator could have
  }
  void TearDown() override { umask(previousMask_); }

  tesmar::testing::TemporaryMachineRoot parent_;
  std::string fresh_;
  mode_t previousMask_ = 0;
};

TEST_F(MachineRootModes, AFreshRootIsItsOwnersAndItsGroupsToReadAndWhatIsMadeInItFollowsIt) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Test", 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  DWORD one = 1;
  ASSERT_EQ(RegSetValueExW(key, u"Value", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), sizeof one),
            ERROR_SUCCESS);
  ASSERT_EQ(RegLockKey(key, 0), ERROR_SUCCESS);
  Beep(440, 1);
  EXPECT_EQ(ModeOf(fresh_), 0750u);
  for (const char* file : {"registry.db", "registry.db-wal", "registry.db-shm", "tones.log"}) {
    EXPECT_EQ(ModeOf(fresh_ + "/" + file), 0640u) << file;
  }
  for (const auto& entry : std::filesystem::directory_iterator(fresh_)) {
    if (entry.path().filename().string().starts_with("registry-key-")) {
      EXPECT_EQ(ModeOf(entry.path().string()), 0640u) << entry.path();
    }
  }
  RegCloseKey(key);

  // The operator opens the root to a group: what is made later is the group's too.
  ASSERT_EQ(chmod(fresh_.c_str(), 02770), 0);
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  ASSERT_NE(manager, nullptr);
  SC_HANDLE service =
      CreateServiceA(manager, "ModesTest", nullptr, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                     SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, "/bin/true", nullptr, nullptr,
                     nullptr, nullptr, nullptr);
  ASSERT_NE(service, nullptr);
  std::string records = fresh_ + "/services/modestest";
  EXPECT_EQ(ModeOf(fresh_ + "/services"), 02770u);
  EXPECT_EQ(ModeOf(records + "/handles"), 02770u);
  int files = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(records)) {
    if (!entry.is_regular_file()) continue;
    EXPECT_EQ(ModeOf(entry.path().string()), 0660u) << entry.path();
    ++files;
  }
  EXPECT_GT(files, 0) << "the handle's record";
  DeleteService(service);
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
}

}  // namespace
