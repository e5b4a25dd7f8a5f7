// The computer browser: the candidates it gathers from the operator's ssh files and avahi, and
// the dialog driven as an operator drives it (typed, picked, double-clicked, cancelled).
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "DlgSelectComputer.h"
#include "computer_browser.h"
#include "computer_candidates.h"
#include "dialog_driver.h"
#include "list_box.h"
#include "select_computer_dialog_ids.h"
#include "system_text.h"

namespace {

using namespace tesmar::gui;
using namespace tesmar::gui::testing;
using namespace tesmar::gui::select_computer_dialog;

TEST(ComputerCandidates, TakeNamesNotPatternsAddressesOrHashes) {
  EXPECT_EQ(SshConfigHosts("Host far-one far-two\n"
                           "  HostName 10.0.0.7\n"
                           "host=third # a comment\n"
                           "Host *.example.org !bad ?ingle\n"
                           "Match host x\n"
                           "HostKeyAlias nothing\n"),
            (QStringList{"far-one", "far-two", "third"}));
  EXPECT_EQ(KnownHostsNames("box.example.org,192.168.1.4 ssh-ed25519 AAAA\n"
                            "|1|c2FsdA==|aGFzaA== ssh-ed25519 AAAA\n"
                            "[far-one]:2222 ssh-ed25519 AAAA\n"
                            "@cert-authority *.example.org ssh-ed25519 AAAA\n"
                            "fe80::1,plain ecdsa-sha2-nistp256 AAAA\n"
                            "# a comment\n"),
            (QStringList{"box.example.org", "plain"}));
  EXPECT_EQ(AvahiHosts("+;eth0;IPv4;nas;_ssh._tcp;local\n"
                       "=;eth0;IPv4;nas;_ssh._tcp;local;nas.local;192.168.1.9;22;\n"
                       "=;eth0;IPv6;pi;_ssh._tcp;local;pi.local;fe80::2;22;\n"),
            (QStringList{"nas.local", "pi.local"}));
}

// HOME, TESMAR_SSH_CONFIG and PATH of the test's own, with a stand-in avahi-browse.
class OperatorFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(home_.isValid());
    Keep("HOME", home_.path());
    Keep("PATH", home_.filePath("bin"));
    Keep("TESMAR_SSH_CONFIG", {});
    QDir(home_.path()).mkpath(".ssh");
    QDir(home_.path()).mkpath("bin");
    Write(".ssh/config", "Host far-one\nHost *\n");
    Write(".ssh/known_hosts", "box.example.org ssh-ed25519 AAAA\n");
    Write("bin/avahi-browse",
          "#!/bin/sh\necho '=;eth0;IPv4;nas;_ssh._tcp;local;nas.local;1.2.3.4;22;'\n");
    QFile(home_.filePath("bin/avahi-browse")).setPermissions(QFile::ReadOwner | QFile::ExeOwner);
  }
  void TearDown() override {
    for (auto& [name, value] : kept_) {
      if (value) {
        setenv(name.c_str(), value->c_str(), 1);
      } else {
        unsetenv(name.c_str());
      }
    }
  }
  void Keep(const std::string& name, const QString& value) {
    const char* old = std::getenv(name.c_str());
    kept_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    if (value.isNull()) {
      unsetenv(name.c_str());
    } else {
      setenv(name.c_str(), value.toLocal8Bit().constData(), 1);
    }
  }
  void Write(const QString& path, const QByteArray& text) {
    QFile file(home_.filePath(path));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
  }

  QTemporaryDir home_;
  std::vector<std::pair<std::string, std::optional<std::string>>> kept_;
};

TEST_F(OperatorFiles, TheCandidatesAreTheOperatorsHostsAvahisAndThisOne) {
  QStringList expected{"box.example.org", "far-one", "nas.local", LocalComputerName()};
  expected.sort(Qt::CaseInsensitive);
  EXPECT_EQ(ComputerCandidates(), expected);
  // TESMAR_SSH_CONFIG names the configuration ssh is given instead.
  Write("other_config", "Host far-two\n");
  setenv("TESMAR_SSH_CONFIG", home_.filePath("other_config").toLocal8Bit().constData(), 1);
  EXPECT_TRUE(ComputerCandidates().contains("far-two"));
  EXPECT_FALSE(ComputerCandidates().contains("far-one"));
}

TEST_F(OperatorFiles, TheBrowserReturnsATypedOrPickedNameWholeAfterTwoBackslashes) {
  QString name;
  const QString longName = "a-far-host-whose-name-is-longer-than-sixteen";
  ASSERT_TRUE(WithNextModal([&] { EXPECT_EQ(BrowseForComputer(nullptr, name), 1); },
                            [&](QWidget* modal) {
                              auto* browser = qobject_cast<CDlgSelectComputer*>(modal);
                              ASSERT_NE(browser, nullptr);
                              EXPECT_EQ(browser->windowTitle(), "Select Computer");
                              EXPECT_FALSE(browser->controls().Item(IDC_OK)->isEnabled());
                              EXPECT_EQ(browser->candidateList().GetCount(), 4);
                              SaveShot(*browser, "select-computer-browser");
                              QTest::keyClicks(browser->controls().Item(IDC_NAME), longName);
                              PressKey(browser->controls().Item(IDC_NAME), Qt::Key_Return);
                            }));
  EXPECT_EQ(name, "\\\\" + longName);

  // A click puts the entry into the field; a double click chooses it.
  ASSERT_TRUE(WithNextModal([&] { EXPECT_EQ(BrowseForComputer(nullptr, name), 1); },
                            [&](QWidget* modal) {
                              auto* browser = qobject_cast<CDlgSelectComputer*>(modal);
                              int farOne = -1;
                              for (int i = 0; i < browser->candidateList().GetCount(); ++i) {
                                if (browser->candidateList().GetText(i) == "far-one") farOne = i;
                              }
                              ASSERT_GE(farOne, 0);
                              ClickEntry(&browser->candidateList(), farOne);
                              EXPECT_EQ(browser->controls().Text(IDC_NAME), "far-one");
                              EXPECT_TRUE(browser->controls().Item(IDC_OK)->isEnabled());
                              DoubleClickEntry(&browser->candidateList(), farOne);
                            }));
  EXPECT_EQ(name, "\\\\far-one");

  // Cancel, and Esc, choose nothing.
  for (bool escape : {false, true}) {
    name = "unchanged";
    ASSERT_TRUE(WithNextModal([&] { EXPECT_EQ(BrowseForComputer(nullptr, name), 0); },
                              [&](QWidget* modal) {
                                auto* browser = qobject_cast<CDlgSelectComputer*>(modal);
                                QTest::keyClicks(browser->controls().Item(IDC_NAME), "typed");
                                if (escape) {
                                  PressKey(browser, Qt::Key_Escape);
                                } else {
                                  Click(browser->controls().Item(IDC_CANCEL));
                                }
                              }));
    EXPECT_EQ(name, "unchanged");
  }
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);  // the wait cursor is gone
}

}  // namespace
