// Last error, handles and text: the base every other area stands on.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include <string>

#include "platform/computer_name.h"
#include "platform/errors.h"
#include "platform/handles.h"
#include "platform/text.h"
#include "platform/threading.h"

TEST(LastError, IsKeptPerThread) {
  SetLastError(1234);
  DWORD seenByOtherThread = 0xdeadbeef;
  std::thread([&] {
    seenByOtherThread = GetLastError();
    SetLastError(77);
  }).join();
  EXPECT_EQ(seenByOtherThread, 0u);
  EXPECT_EQ(GetLastError(), 1234u);
}

TEST(ErrorMessages, ComeFromTheTable) {
  EXPECT_STREQ(tesmar::platform::Win32ErrorMessage(ERROR_ACCESS_DENIED), "Access is denied.");
  EXPECT_STREQ(tesmar::platform::Win32ErrorMessage(ERROR_SERVICE_NOT_ACTIVE),
               "The service has not been started.");
  EXPECT_EQ(tesmar::platform::Win32ErrorMessage(999999), nullptr);
}

TEST(FormatMessageW, GivesTheSystemTextOrFailsAsWindowsDoes) {
  WCHAR text[64];
  SetLastError(0xdeadbeef);
  EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, 1,
                           0, text, 64, nullptr),
            21u);
  EXPECT_EQ(std::u16string(text), u"Incorrect function.\r\n");
  EXPECT_EQ(GetLastError(), 0xdeadbeefu);
  EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_MAX_WIDTH_MASK, nullptr,
                           ERROR_SERVICE_NOT_ACTIVE, 0, text, 64, nullptr),
            33u);
  EXPECT_EQ(std::u16string(text), u"The service has not been started.");

  EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 999999, 0, text, 64, nullptr), 0u);
  EXPECT_EQ(GetLastError(), ERROR_MR_MID_NOT_FOUND);
  // "Incorrect function.\r\n" and its NUL need 22 units.
  EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 1, 0, text, 21, nullptr), 0u);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 1, 0, text, 22, nullptr), 21u);
  EXPECT_EQ(FormatMessageW(0, nullptr, 1, 0, text, 64, nullptr), 0u);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(GetComputerNameW, GivesTheHostNameAndTheSizeItNeeds) {
  DWORD needed = 0;
  SetLastError(0);
  ASSERT_FALSE(GetComputerNameW(nullptr, &needed));
  EXPECT_EQ(GetLastError(), ERROR_BUFFER_OVERFLOW);
  ASSERT_GT(needed, 1u);
  std::u16string name(needed, u'?');
  DWORD size = needed - 1;
  EXPECT_FALSE(GetComputerNameW(name.data(), &size));
  EXPECT_EQ(size, needed);
  ASSERT_TRUE(GetComputerNameW(name.data(), &size));
  EXPECT_EQ(size, needed - 1);
  EXPECT_EQ(name[size], u'\0');
  EXPECT_EQ(name.find(u'?'), std::u16string::npos);
}

TEST(CloseHandle, RefusesHandlesThatAreNotOpen) {
  for (HANDLE bogus :
       {HANDLE(nullptr), INVALID_HANDLE_VALUE, HANDLE(uintptr_t{4} << 20), HANDLE(uintptr_t{6})}) {
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CloseHandle(bogus));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  }
}

// A handle used after it was closed must fail, not reach whatever was opened next: its value
// is not handed out again while many others are.
TEST(CloseHandle, AClosedHandleIsNotHandedOutAgainSoon) {
  HANDLE closed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(closed, nullptr);
  ASSERT_TRUE(CloseHandle(closed));
  std::vector<HANDLE> later;
  for (int k = 0; k < 32; ++k) {
    later.push_back(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    EXPECT_NE(later.back(), closed) << "handed out again after " << k << " others";
  }
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(SetEvent(closed));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  for (HANDLE handle : later) EXPECT_TRUE(CloseHandle(handle));
}

TEST(LstrcmpW, ComparesCaseSensitively) {
  EXPECT_EQ(lstrcmpW(u"app.exe", u"app.exe"), 0);
  EXPECT_NE(lstrcmpW(u"APP.EXE", u"app.exe"), 0);
  EXPECT_LT(lstrcmpW(u"app", u"app.exe"), 0);
  EXPECT_GT(lstrcmpW(u"b", u"a"), 0);
  EXPECT_EQ(lstrcmpW(nullptr, u""), 0);
}

TEST(TextConversion, RoundTripsOutsideTheBasicPlane) {
  const char* utf8 = "caf\xc3\xa9 \xf0\x9f\x98\x80";  // café 😀
  WCHAR wide[32];
  int units = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, 32);
  ASSERT_EQ(units, 8);  // c a f é blank, a surrogate pair, NUL
  EXPECT_EQ(wide[3], u'\u00e9');
  EXPECT_EQ(wide[5], 0xD83D);
  char back[32];
  ASSERT_EQ(WideCharToMultiByte(CP_UTF8, 0, wide, -1, back, 32, nullptr, nullptr), 11);
  EXPECT_STREQ(back, utf8);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0), 8);
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, 3), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

TEST(TextConversion, MalformedInputBecomesReplacementCharacters) {
  WCHAR wide[8];
  ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0,
                                "a\xff"
                                "b",
                                -1, wide, 8),
            4);
  EXPECT_EQ(wide[1], 0xFFFD);
  EXPECT_EQ(wide[2], u'b');
}
