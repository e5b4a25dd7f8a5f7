// Keys and values in one process: creation, names, reading, replacing, deleting, handles.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/errors.h"
#include "platform/handles.h"
#include "platform/registry.h"
#include "platform/threading.h"
#include "registry_test_support.h"
#include "support/temporary_machine_root.h"

using registry_test::CreateKey;
using registry_test::ReadBytes;
using registry_test::SetDword;
using tesmar::testing::TemporaryMachineRoot;

namespace {
const char16_t kDataPath[] = u"SOFTWARE\\Kaltrix\\Tesmar\\Ver2\\Data";

class RegistryValues : public ::testing::Test {
 protected:
  TemporaryMachineRoot root_;
};

TEST_F(RegistryValues, CreateMakesTheWholePathAndTellsCreatedFromOpened) {
  DWORD disposition = 0;
  HKEY data = CreateKey(HKEY_LOCAL_MACHINE, kDataPath, &disposition);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  HKEY again = CreateKey(HKEY_LOCAL_MACHINE, kDataPath, &disposition);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);

  HKEY middle = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Kaltrix", 0, KEY_READ, &middle),
            ERROR_SUCCESS);
  // The same key through any handle: a value set through one is read through the other.
  ASSERT_EQ(SetDword(data, u"UpdateFlag", 1), ERROR_SUCCESS);
  LONG result;
  EXPECT_EQ(ReadBytes(again, u"UpdateFlag", result).size(), 4u);
  EXPECT_EQ(result, ERROR_SUCCESS);

  HKEY missing = reinterpret_cast<HKEY>(0x1234);
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Nobody", 0, KEY_READ, &missing),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(missing, reinterpret_cast<HKEY>(0x1234));
  for (HKEY key : {data, again, middle}) EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(RegistryValues, NamesCompareWithoutRegardToCase) {
  HKEY key = CreateKey(HKEY_LOCAL_MACHINE, u"Software\\\u00c4rger\\Data");
  HKEY other = nullptr;
  ASSERT_EQ(
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\\u00e4RGER\\data", 0, KEY_ALL_ACCESS, &other),
      ERROR_SUCCESS);
  DWORD disposition = 0;
  HKEY created = CreateKey(HKEY_LOCAL_MACHINE, u"software\\\u00e4rger\\DATA", &disposition);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);

  ASSERT_EQ(SetDword(key, u"RefreshFlag", 1), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(other, u"REFRESHFLAG", 7), ERROR_SUCCESS);  // replaces, adds nothing
  DWORD value = 0;
  DWORD size = sizeof value;
  ASSERT_EQ(RegQueryValueExW(created, u"refreshflag", nullptr, nullptr,
                             reinterpret_cast<BYTE*>(&value), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(value, 7u);
  ASSERT_EQ(RegDeleteValueW(key, u"RefreshFLAG"), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExW(key, u"RefreshFlag", nullptr, nullptr, nullptr, &size),
            ERROR_FILE_NOT_FOUND);
  for (HKEY handle : {key, other, created}) RegCloseKey(handle);
}

TEST_F(RegistryValues, QueryGivesSizeMoreDataAndFileNotFound) {
  HKEY key = CreateKey(HKEY_LOCAL_MACHINE, kDataPath);
  std::vector<BYTE> packet(12588);
  for (size_t i = 0; i < packet.size(); ++i) packet[i] = static_cast<BYTE>(i * 7);
  ASSERT_EQ(RegSetValueExW(key, u"ProcList", 0, REG_BINARY, packet.data(),
                           static_cast<DWORD>(packet.size())),
            ERROR_SUCCESS);

  DWORD type = 0xdeadbeef;
  DWORD size = 0;
  ASSERT_EQ(RegQueryValueExW(key, u"ProcList", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_BINARY);
  EXPECT_EQ(size, packet.size());

  std::vector<BYTE> buffer(packet.size(), 0xEE);
  size = static_cast<DWORD>(packet.size() - 1);
  EXPECT_EQ(RegQueryValueExW(key, u"ProcList", nullptr, nullptr, buffer.data(), &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(size, packet.size());

  size = static_cast<DWORD>(buffer.size());
  ASSERT_EQ(RegQueryValueExW(key, u"ProcList", nullptr, nullptr, buffer.data(), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(buffer, packet);

  size = 99;
  type = 99;
  EXPECT_EQ(RegQueryValueExW(key, u"UpdateList", nullptr, &type, buffer.data(), &size),
            ERROR_FILE_NOT_FOUND);
  DWORD reserved = 0;
  EXPECT_EQ(RegQueryValueExW(key, u"ProcList", &reserved, nullptr, nullptr, &size),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegQueryValueExW(key, u"ProcList", nullptr, nullptr, buffer.data(), nullptr),
            ERROR_INVALID_PARAMETER);
  RegCloseKey(key);
}

TEST_F(RegistryValues, SetReplacesTypeAndSizeWhole) {
  HKEY key = CreateKey(HKEY_LOCAL_MACHINE, kDataPath);
  std::vector<BYTE> big(100000, 0xAB);
  ASSERT_EQ(RegSetValueExW(key, u"UpdateList", 0, REG_BINARY, big.data(), 100000), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(key, u"UpdateList", 0x01020304), ERROR_SUCCESS);
  DWORD type = 0;
  DWORD size = 0;
  ASSERT_EQ(RegQueryValueExW(key, u"UpdateList", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(size, 4u);

  // An empty value exists and is empty, which is not the same as missing.
  ASSERT_EQ(RegSetValueExW(key, u"UpdateList", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
  size = 55;
  EXPECT_EQ(RegQueryValueExW(key, u"UpdateList", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(RegSetValueExW(key, u"UpdateList", 0, REG_BINARY, nullptr, 4), ERROR_INVALID_PARAMETER);

  // The unnamed (default) value: a null name and an empty one are the same value.
  ASSERT_EQ(SetDword(key, nullptr, 5), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExW(key, u"", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 4u);
  RegCloseKey(key);
}

TEST_F(RegistryValues, SixteenMegabyteValueRoundTrips) {
  HKEY key = CreateKey(HKEY_LOCAL_MACHINE, kDataPath);
  std::vector<BYTE> packet(16u << 20);
  for (size_t i = 0; i < packet.size(); ++i) packet[i] = static_cast<BYTE>((i * 2654435761u) >> 24);
  ASSERT_EQ(RegSetValueExW(key, u"ProcList", 0, REG_BINARY, packet.data(),
                           static_cast<DWORD>(packet.size())),
            ERROR_SUCCESS);
  LONG result;
  std::vector<BYTE> back = ReadBytes(key, u"ProcList", result);
  ASSERT_EQ(result, ERROR_SUCCESS);
  EXPECT_TRUE(back == packet);
  RegCloseKey(key);
}

TEST_F(RegistryValues, AnsiCallsConvertTextAndKeepTheByteCountGiven) {
  HKEY key = nullptr;
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kaltrix\\Tesmar\\Ver2", 0, nullptr,
                            REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  // The installer stores the directory's length without its NUL.
  ASSERT_EQ(RegSetValueExA(key, "InstallDir", 0, REG_SZ, reinterpret_cast<const BYTE*>("C:\\T"), 4),
            ERROR_SUCCESS);
  DWORD type = 0;
  DWORD size = 0;
  ASSERT_EQ(RegQueryValueExA(key, "InstallDir", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size, 4u);
  char text[16];
  std::memset(text, 0, sizeof text);
  size = sizeof text;
  ASSERT_EQ(
      RegQueryValueExA(key, "InstallDir", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size),
      ERROR_SUCCESS);
  EXPECT_STREQ(text, "C:\\T");
  // Stored as UTF-16, as Windows stores it: eight bytes, no NUL.
  LONG result;
  std::vector<BYTE> wide = ReadBytes(key, u"InstallDir", result);
  ASSERT_EQ(wide.size(), 8u);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(wide.data()), 4), u"C:\\T");

  const char* accented = "caf\xc3\xa9";  // five UTF-8 bytes, four characters
  ASSERT_EQ(RegSetValueExA(key, "Name", 0, REG_SZ, reinterpret_cast<const BYTE*>(accented), 6),
            ERROR_SUCCESS);
  wide = ReadBytes(key, u"Name", result);
  EXPECT_EQ(wide.size(), 10u);  // four units and the NUL that was given
  size = 3;
  EXPECT_EQ(RegQueryValueExA(key, "Name", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(size, 6u);
  // Binary data pass through the A calls untouched.
  const BYTE raw[] = {0xff, 0x00, 0xc3};
  ASSERT_EQ(RegSetValueExA(key, "Raw", 0, REG_BINARY, raw, 3), ERROR_SUCCESS);
  size = sizeof text;
  ASSERT_EQ(RegQueryValueExA(key, "Raw", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(size, 3u);
  EXPECT_EQ(std::memcmp(text, raw, 3), 0);

  HKEY opened = nullptr;
  EXPECT_EQ(
      RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\kaltrix\\tesmar\\ver2", 0, KEY_READ, &opened),
      ERROR_SUCCESS);
  RegCloseKey(opened);
  RegCloseKey(key);
}

TEST_F(RegistryValues, BogusOrClosedHandlesGiveInvalidHandle) {
  HKEY closed = CreateKey(HKEY_LOCAL_MACHINE, kDataPath);
  ASSERT_EQ(RegCloseKey(closed), ERROR_SUCCESS);
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::vector<HKEY> bogus = {nullptr,
                             closed,
                             reinterpret_cast<HKEY>(event),
                             reinterpret_cast<HKEY>(uintptr_t{0x7777770}),
                             reinterpret_cast<HKEY>(uintptr_t{0x80000009}),
                             reinterpret_cast<HKEY>(uintptr_t{3})};
  for (HKEY key : bogus) {
    HKEY out = nullptr;
    DWORD size = 0;
    DWORD one = 1;
    EXPECT_EQ(RegOpenKeyExW(key, u"X", 0, KEY_READ, &out), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCreateKeyExW(key, u"X", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &out, nullptr),
              ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegQueryValueExW(key, u"X", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegSetValueExW(key, u"X", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), 4),
              ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegDeleteValueW(key, u"X"), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegDeleteKeyW(key, u"X"), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegNotifyChangeKeyValue(key, TRUE, REG_NOTIFY_CHANGE_LAST_SET, event, TRUE),
              ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
  }
  // An HKEY is not an event, and RegCloseKey left the event open.
  EXPECT_EQ(SetEvent(event), TRUE);
  EXPECT_EQ(CloseHandle(event), TRUE);
  EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
}

TEST_F(RegistryValues, HandlesKeepTheAccessTheyWereOpenedWith) {
  HKEY writable = CreateKey(HKEY_LOCAL_MACHINE, kDataPath);
  ASSERT_EQ(SetDword(writable, u"UpdateFlag", 0), ERROR_SUCCESS);
  HKEY reader = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kDataPath, 0, KEY_READ, &reader), ERROR_SUCCESS);
  EXPECT_EQ(SetDword(reader, u"UpdateFlag", 1), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteValueW(reader, u"UpdateFlag"), ERROR_ACCESS_DENIED);
  HKEY below = nullptr;
  EXPECT_EQ(RegCreateKeyExW(reader, u"Below", 0, nullptr, 0, KEY_READ, nullptr, &below, nullptr),
            ERROR_ACCESS_DENIED);
  HKEY setter = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kDataPath, 0, KEY_SET_VALUE, &setter), ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExW(setter, u"UpdateFlag", nullptr, nullptr, nullptr, &size),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(SetDword(setter, u"UpdateFlag", 1), ERROR_SUCCESS);
  for (HKEY key : {writable, reader, setter}) RegCloseKey(key);
}

TEST_F(RegistryValues, DeleteKeyRefusesAKeyWithSubkeys) {
  HKEY data = CreateKey(HKEY_LOCAL_MACHINE, kDataPath);
  ASSERT_EQ(SetDword(data, u"UpdateFlag", 1), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Kaltrix\\Tesmar\\Ver2"),
            ERROR_ACCESS_DENIED);
  HKEY still = nullptr;
  EXPECT_EQ(
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Kaltrix\\Tesmar\\Ver2", 0, KEY_READ, &still),
      ERROR_SUCCESS);
  RegCloseKey(still);

  ASSERT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kaltrix\\Tesmar\\Ver2\\DATA"),
            ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, kDataPath), ERROR_FILE_NOT_FOUND);
  // A handle to the deleted key stays a valid handle to nothing.
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExW(data, u"UpdateFlag", nullptr, nullptr, nullptr, &size),
            ERROR_KEY_DELETED);
  EXPECT_EQ(SetDword(data, u"UpdateFlag", 1), ERROR_KEY_DELETED);
  EXPECT_EQ(RegCloseKey(data), ERROR_SUCCESS);
  // Made again, the key is new and empty.
  DWORD disposition = 0;
  HKEY again = CreateKey(HKEY_LOCAL_MACHINE, kDataPath, &disposition);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  EXPECT_EQ(RegQueryValueExW(again, u"UpdateFlag", nullptr, nullptr, nullptr, &size),
            ERROR_FILE_NOT_FOUND);
  RegCloseKey(again);
  EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u""), ERROR_ACCESS_DENIED);
}

TEST_F(RegistryValues, EnumKeyListsSubkeysByFoldedNameAndChecksItsArguments) {
  HKEY services = CreateKey(HKEY_LOCAL_MACHINE, u"SYSTEM\\Services");
  for (const char16_t* name : {u"beta", u"Alpha", u"gamma"}) RegCloseKey(CreateKey(services, name));
  RegCloseKey(CreateKey(services, u"Alpha\\Below"));  // not a subkey of services itself

  std::vector<std::u16string> names;
  char16_t name[16];
  DWORD chars = 16;
  LONG result;
  for (DWORD index = 0; (result = RegEnumKeyExW(services, index, name, &chars, nullptr, nullptr,
                                                nullptr, nullptr)) == ERROR_SUCCESS;
       ++index) {
    EXPECT_EQ(chars, std::char_traits<char16_t>::length(name));
    names.emplace_back(name);
    chars = 16;
  }
  EXPECT_EQ(result, ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(names, (std::vector<std::u16string>{u"Alpha", u"beta", u"gamma"}));

  // Room for "gamma" needs its terminator too; a class is empty, the time zero.
  chars = 5;
  EXPECT_EQ(RegEnumKeyExW(services, 2, name, &chars, nullptr, nullptr, nullptr, nullptr),
            ERROR_MORE_DATA);
  char16_t keyClass[4] = u"xyz";
  DWORD classChars = 4;
  FILETIME written{1, 1};
  chars = 6;
  ASSERT_EQ(RegEnumKeyExW(services, 2, name, &chars, nullptr, keyClass, &classChars, &written),
            ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(name), u"gamma");
  EXPECT_EQ(keyClass[0], u'\0');
  EXPECT_EQ(classChars, 0u);
  EXPECT_EQ(written.dwLowDateTime | written.dwHighDateTime, 0u);
  DWORD reserved = 0;
  EXPECT_EQ(RegEnumKeyExW(services, 0, name, &chars, &reserved, nullptr, nullptr, nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegEnumKeyExW(services, 0, nullptr, &chars, nullptr, nullptr, nullptr, nullptr),
            ERROR_INVALID_PARAMETER);

  // Enumerating needs its right; a key deleted under the handle says so.
  HKEY valuesOnly = nullptr;
  ASSERT_EQ(
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SYSTEM\\Services\\beta", 0, KEY_QUERY_VALUE, &valuesOnly),
      ERROR_SUCCESS);
  chars = 16;
  EXPECT_EQ(RegEnumKeyExW(valuesOnly, 0, name, &chars, nullptr, nullptr, nullptr, nullptr),
            ERROR_ACCESS_DENIED);
  RegCloseKey(valuesOnly);
  HKEY gamma = CreateKey(services, u"gamma");
  ASSERT_EQ(RegDeleteKeyW(services, u"gamma"), ERROR_SUCCESS);
  EXPECT_EQ(RegEnumKeyExW(gamma, 0, name, &chars, nullptr, nullptr, nullptr, nullptr),
            ERROR_KEY_DELETED);
  RegCloseKey(gamma);
  RegCloseKey(services);
}

TEST_F(RegistryValues, ConnectReachesOnlyThisMachine) {
  char host[256] = {};
  ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
  std::string upper = host;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (std::string name : {std::string(), std::string(host), "\\\\" + upper}) {
    HKEY machine = nullptr;
    EXPECT_EQ(
        RegConnectRegistryA(name.empty() ? nullptr : name.c_str(), HKEY_LOCAL_MACHINE, &machine),
        ERROR_SUCCESS)
        << name;
    EXPECT_EQ(RegCloseKey(machine), ERROR_SUCCESS);
  }
  HKEY machine = nullptr;
  EXPECT_EQ(RegConnectRegistryW(u"", HKEY_LOCAL_MACHINE, &machine), ERROR_SUCCESS);
  RegCloseKey(machine);
  EXPECT_EQ(RegConnectRegistryW(u"\\\\elsewhere-tesmar", HKEY_LOCAL_MACHINE, &machine),
            ERROR_BAD_NETPATH);
  EXPECT_EQ(RegConnectRegistryW(nullptr, HKEY_CURRENT_USER, &machine), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryValues, ConnectedHandleStaysOnItsMachineWhileTheRootMoves) {
  HKEY first = nullptr;
  ASSERT_EQ(RegConnectRegistryW(nullptr, HKEY_LOCAL_MACHINE, &first), ERROR_SUCCESS);
  HKEY firstData = CreateKey(first, kDataPath);
  ASSERT_EQ(SetDword(firstData, u"UpdateFlag", 1), ERROR_SUCCESS);
  {
    TemporaryMachineRoot second;
    HKEY secondData = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kDataPath, 0, KEY_READ, &secondData),
              ERROR_FILE_NOT_FOUND);
    HKEY stillFirst = nullptr;
    EXPECT_EQ(RegOpenKeyExW(first, kDataPath, 0, KEY_READ, &stillFirst), ERROR_SUCCESS);
    RegCloseKey(stillFirst);
  }
  HKEY back = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kDataPath, 0, KEY_READ, &back), ERROR_SUCCESS);
  for (HKEY key : {first, firstData, back}) RegCloseKey(key);
}

TEST_F(RegistryValues, ADeletedDatabaseIsMadeAfresh) {
  HKEY data = CreateKey(HKEY_LOCAL_MACHINE, kDataPath);
  ASSERT_EQ(SetDword(data, u"UpdateFlag", 1), ERROR_SUCCESS);
  RegCloseKey(data);
  for (const char* suffix : {"", "-wal", "-shm"}) {
    std::filesystem::remove(root_.path() + "/registry.db" + suffix);
  }
  HKEY gone = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kDataPath, 0, KEY_READ, &gone), ERROR_FILE_NOT_FOUND);
  DWORD disposition = 0;
  data = CreateKey(HKEY_LOCAL_MACHINE, kDataPath, &disposition);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  RegCloseKey(data);
  EXPECT_TRUE(std::filesystem::exists(root_.path() + "/registry.db"));
}

TEST_F(RegistryValues, ThreadsWriteAtOnceWithoutLosingAWrite) {
  constexpr int kThreads = 4;
  constexpr int kWrites = 50;
  std::vector<std::thread> writers;
  std::vector<int> failures(kThreads, 0);
  for (int t = 0; t < kThreads; ++t) {
    writers.emplace_back([t, &failures] {
      HKEY key = CreateKey(HKEY_LOCAL_MACHINE, kDataPath);
      std::u16string name = u"Writer" + std::u16string(1, static_cast<char16_t>(u'A' + t));
      for (DWORD i = 1; i <= kWrites; ++i) {
        if (SetDword(key, name.c_str(), i) != ERROR_SUCCESS) ++failures[t];
      }
      RegCloseKey(key);
    });
  }
  for (auto& writer : writers) writer.join();
  HKEY key = CreateKey(HKEY_LOCAL_MACHINE, kDataPath);
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(failures[t], 0);
    std::u16string name = u"Writer" + std::u16string(1, static_cast<char16_t>(u'A' + t));
    DWORD value = 0;
    DWORD size = sizeof value;
    ASSERT_EQ(RegQueryValueExW(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&value),
                               &size),
              ERROR_SUCCESS);
    EXPECT_EQ(value, static_cast<DWORD>(kWrites));
  }
  RegCloseKey(key);
}
}  // namespace
