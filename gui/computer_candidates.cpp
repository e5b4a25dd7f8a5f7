#include "computer_candidates.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <algorithm>

#include "system_text.h"

namespace tesmar::gui {
namespace {

constexpr int kAvahiBoundMs = 2000;

bool IsPattern(const QString& name) {
  return name.contains(u'*') || name.contains(u'?') || name.startsWith(u'!');
}

// IPv6 addresses hold colons, IPv4 ones only digits and dots.
bool IsAddress(const QString& name) {
  static const QRegularExpression ipv4(QStringLiteral("^[0-9.]+$"));
  return name.contains(u':') || ipv4.match(name).hasMatch();
}

QString ReadText(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return {};
  return QString::fromUtf8(file.readAll());
}

QStringList Words(const QString& line) {
  return line.split(QRegularExpression(QStringLiteral("[\\s=]+")), Qt::SkipEmptyParts);
}

QString SshConfigPath() {
  QString chosen = qEnvironmentVariable("TESMAR_SSH_CONFIG");
  return chosen.isEmpty() ? QDir::home().filePath(QStringLiteral(".ssh/config")) : chosen;
}

QStringList AnnouncedHosts() {
  QString avahi = QStandardPaths::findExecutable(QStringLiteral("avahi-browse"));
  if (avahi.isEmpty()) return {};
  QProcess browse;
  browse.start(avahi, {QStringLiteral("-t"), QStringLiteral("-r"), QStringLiteral("-p"),
                       QStringLiteral("-k"), QStringLiteral("_ssh._tcp")});
  if (!browse.waitForFinished(kAvahiBoundMs)) {
    browse.kill();
    browse.waitForFinished();
  }
  return AvahiHosts(QString::fromUtf8(browse.readAllStandardOutput()));
}

}  // namespace

QStringList SshConfigHosts(const QString& config) {
  QStringList hosts;
  for (const QString& line : config.split(u'\n')) {
    QStringList words = Words(line);
    if (words.isEmpty() || words[0].compare(QStringLiteral("Host"), Qt::CaseInsensitive) != 0) {
      continue;
    }
    for (qsizetype i = 1; i < words.size() && !words[i].startsWith(u'#'); ++i) {
      if (!IsPattern(words[i])) hosts << words[i];
    }
  }
  return hosts;
}

QStringList KnownHostsNames(const QString& knownHosts) {
  QStringList names;
  for (const QString& line : knownHosts.split(u'\n')) {
    QStringList words = Words(line.trimmed());
    if (words.isEmpty() || words[0].startsWith(u'#') || words[0].startsWith(u'@')) continue;
    for (const QString& name : words[0].split(u',', Qt::SkipEmptyParts)) {
      if (name.startsWith(u'|') || name.startsWith(u'[') || IsPattern(name)) continue;
      if (IsAddress(name)) continue;
      names << name;
    }
  }
  return names;
}

QStringList AvahiHosts(const QString& output) {
  QStringList hosts;
  for (const QString& line : output.split(u'\n')) {
    QStringList fields = line.split(u';');
    if (fields.size() >= 7 && fields[0] == QStringLiteral("=") && !fields[6].isEmpty()) {
      hosts << fields[6];
    }
  }
  return hosts;
}

QStringList ComputerCandidates() {
  QStringList all = SshConfigHosts(ReadText(SshConfigPath()));
  all << KnownHostsNames(ReadText(QDir::home().filePath(QStringLiteral(".ssh/known_hosts"))));
  all << AnnouncedHosts();
  QString self = LocalComputerName();
  if (!self.isEmpty()) all << self;
  all.sort(Qt::CaseInsensitive);
  all.removeDuplicates();
  return all;
}

}  // namespace tesmar::gui
