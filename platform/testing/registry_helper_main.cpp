// A second process for the registry's tests: it acts on the machine of $TESMAR_ROOT and prints
// the result of each step on its own line, flushed at once.
//
//   registry_helper [--as-user UID] set PATH NAME TEXT     create PATH, set NAME (REG_SZ)
//   registry_helper [--as-user UID] get PATH NAME          print the REG_SZ value or the error
//   registry_helper [--as-user UID] wait PATH SUBTREE      print "armed", wait, print "woke N"
//   registry_helper [--as-user UID] access PATH            try the opens that need write access
//   registry_helper [--as-user UID] write-loop PATH NAME SIZE
//        replace NAME with SIZE bytes again and again: bytes 0-3 the round, the rest its pattern
//   registry_helper [--as-user UID] lock PATH TIMEOUT
//        take the key's lock (RegLockKey), print "lock N", and hold it until standard input ends
#include <grp.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace {
std::u16string Wide(const char* text) {
  std::u16string wide(strlen(text) + 1, u'\0');
  int units = MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), (int)wide.size());
  wide.resize(units > 0 ? units - 1 : 0);
  return wide;
}

void Say(const char* format, long value) {
  std::printf(format, value);
  std::fflush(stdout);
}

HKEY CreatePath(const char* path, LONG& result) {
  HKEY key = nullptr;
  result = RegCreateKeyExW(HKEY_LOCAL_MACHINE, Wide(path).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                           nullptr, &key, nullptr);
  return result == ERROR_SUCCESS ? key : nullptr;
}

int Set(const char* path, const char* name, const char* text) {
  LONG result;
  HKEY key = CreatePath(path, result);
  if (key) {
    std::u16string value = Wide(text);
    result = RegSetValueExW(key, Wide(name).c_str(), 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>((value.size() + 1) * 2));
    RegCloseKey(key);
  }
  Say("set %ld\n", result);
  return 0;
}

int Get(const char* path, const char* name) {
  HKEY key = nullptr;
  LONG result = RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(path).c_str(), 0, KEY_READ, &key);
  if (result == ERROR_SUCCESS) {
    char text[512] = {};
    DWORD size = sizeof text - 1;
    result = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size);
    RegCloseKey(key);
    if (result == ERROR_SUCCESS) {
      std::printf("value %s\n", text);
      std::fflush(stdout);
      return 0;
    }
  }
  Say("error %ld\n", result);
  return 0;
}

int Wait(const char* path, bool subtree) {
  HKEY key = nullptr;
  LONG result = RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(path).c_str(), 0, KEY_READ, &key);
  if (result != ERROR_SUCCESS) {
    Say("error %ld\n", result);
    return 0;
  }
  Say("armed %ld\n", 0);
  result = RegNotifyChangeKeyValue(key, subtree, REG_NOTIFY_CHANGE_LAST_SET, nullptr, FALSE);
  Say("woke %ld\n", result);
  RegCloseKey(key);
  return 0;
}

// Every way of asking for write access, then one read, each result on its line.
int Access(const char* path) {
  std::u16string wide = Wide(path);
  HKEY key = nullptr;
  LONG result = RegOpenKeyExW(HKEY_LOCAL_MACHINE, wide.c_str(), 0, KEY_ALL_ACCESS, &key);
  Say("open-all-access %ld\n", result);
  if (result == ERROR_SUCCESS) RegCloseKey(key);
  result = RegCreateKeyExW(HKEY_LOCAL_MACHINE, (wide + u"\\Fresh").c_str(), 0, nullptr, 0, KEY_READ,
                           nullptr, &key, nullptr);
  Say("create-new %ld\n", result);
  if (result == ERROR_SUCCESS) RegCloseKey(key);
  DWORD one = 1;
  result = RegSetValueExW(HKEY_LOCAL_MACHINE, u"Intruder", 0, REG_DWORD,
                          reinterpret_cast<const BYTE*>(&one), sizeof one);
  Say("set-on-root %ld\n", result);
  result = RegOpenKeyExW(HKEY_LOCAL_MACHINE, wide.c_str(), 0, KEY_READ, &key);
  Say("open-read %ld\n", result);
  if (result == ERROR_SUCCESS) {
    DWORD size = 0;
    result = RegQueryValueExW(key, u"Kept", nullptr, nullptr, nullptr, &size);
    Say("query %ld\n", result);
    RegCloseKey(key);
  }
  return 0;
}

int WriteLoop(const char* path, const char* name, DWORD size) {
  LONG result;
  HKEY key = CreatePath(path, result);
  if (!key) {
    Say("error %ld\n", result);
    return 1;
  }
  std::u16string valueName = Wide(name);
  std::vector<BYTE> data(size);
  for (uint32_t round = 1;; ++round) {
    std::memcpy(data.data(), &round, sizeof round);
    std::memset(data.data() + sizeof round, static_cast<int>(round % 251 + 1), size - sizeof round);
    Say("writing %ld\n", static_cast<long>(round));
    result = RegSetValueExW(key, valueName.c_str(), 0, REG_BINARY, data.data(), size);
    Say("wrote %ld\n", result);
  }
}
int Lock(const char* path, DWORD timeout) {
  HKEY key = nullptr;
  LONG result = RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(path).c_str(), 0, KEY_ALL_ACCESS, &key);
  if (result == ERROR_SUCCESS) result = RegLockKey(key, timeout);
  Say("lock %ld\n", result);
  while (std::getchar() != EOF) {
  }
  if (key) RegCloseKey(key);
  return 0;
}
}  // namespace

int main(int argc, char** argv) {
  int first = 1;
  if (argc > 2 && std::strcmp(argv[1], "--as-user") == 0) {
    auto id = static_cast<uid_t>(std::strtoul(argv[2], nullptr, 10));
    if (setgroups(0, nullptr) != 0 || setgid(id) != 0 || setuid(id) != 0) {
      std::perror("cannot become the user");
      return 2;
    }
    first = 3;
  }
  int count = argc - first;
  char** arguments = argv + first;
  std::string command = count > 0 ? arguments[0] : "";
  if (command == "set" && count == 4) return Set(arguments[1], arguments[2], arguments[3]);
  if (command == "get" && count == 3) return Get(arguments[1], arguments[2]);
  if (command == "wait" && count == 3) return Wait(arguments[1], std::atoi(arguments[2]) != 0);
  if (command == "access" && count == 2) return Access(arguments[1]);
  if (command == "write-loop" && count == 4) {
    return WriteLoop(arguments[1], arguments[2],
                     static_cast<DWORD>(std::strtoul(arguments[3], nullptr, 10)));
  }
  if (command == "lock" && count == 3) {
    return Lock(arguments[1], static_cast<DWORD>(std::strtoul(arguments[2], nullptr, 10)));
  }
  std::fprintf(stderr, "usage: see the top of registry_helper_main.cpp\n");
  return 2;
}
