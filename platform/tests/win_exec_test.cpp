// WinExec on real programs: a started program runs with its arguments in a session of its own;
// a missing program, a missing folder and a file that cannot be run give their numbers.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/errors.h"
#include "platform/win_exec.h"
#include "support/wait_until.h"

namespace {

class WinExecCall : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tesmar-winexec-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
  }
  void TearDown() override { std::system(("rm -rf '" + folder_ + "'").c_str()); }

  std::string Write(const std::string& name, const std::string& text, mode_t mode) {
    std::string path = folder_ + "/" + name;
    std::ofstream(path) << text;
    chmod(path.c_str(), mode);
    return path;
  }

  std::string folder_;
};

TEST_F(WinExecCall, StartsTheProgramWithItsArgumentsInASessionOfItsOwn) {
  std::string marker = folder_ + "/ran";
  // Its session id (field 6 of stat) and its arguments.
  std::string program = Write("monitor",
                              "#!/bin/sh\nset -- \"$@\"\n"
                              "echo \"$(cut -d' ' -f6 /proc/$$/stat) $#:$1:$2\" > '" +
                                  marker + ".tmp'\nmv '" + marker + ".tmp' '" + marker + "'\n",
                              0755);
  UINT result = WinExec((program + " one \"two words\"").c_str(), SW_SHOW);
  EXPECT_GT(result, 31u);
  ASSERT_TRUE(tesmar::testing::WaitUntil([&] { return access(marker.c_str(), F_OK) == 0; }));
  std::ifstream file(marker);
  long session = 0;
  std::string arguments;
  file >> session >> std::ws;
  std::getline(file, arguments);
  EXPECT_NE(session, static_cast<long>(getsid(0)));
  EXPECT_EQ(arguments, "2:one:two words");
}

TEST_F(WinExecCall, AnswersTheNumbersOfAStartThatFailed) {
  EXPECT_EQ(WinExec("tesmar-no-such-program-anywhere", SW_SHOW), UINT{ERROR_FILE_NOT_FOUND});
  EXPECT_EQ(WinExec((folder_ + "/missing").c_str(), SW_SHOW), UINT{ERROR_FILE_NOT_FOUND});
  EXPECT_EQ(WinExec((folder_ + "/no-folder/program").c_str(), SW_SHOW), UINT{ERROR_PATH_NOT_FOUND});
  EXPECT_EQ(WinExec("", SW_SHOW), UINT{ERROR_FILE_NOT_FOUND});
  std::string notExecutable = Write("plain", "#!/bin/sh\n", 0644);
  std::string notAProgram = Write("garbage", "\x01\x02not a program\n", 0755);
  EXPECT_EQ(WinExec(notExecutable.c_str(), SW_SHOW), UINT{ERROR_BAD_FORMAT});
  EXPECT_EQ(WinExec(notAProgram.c_str(), SW_SHOW), UINT{ERROR_BAD_FORMAT});
  EXPECT_EQ(WinExec(folder_.c_str(), SW_SHOW), UINT{ERROR_BAD_FORMAT});
}

}  // namespace
