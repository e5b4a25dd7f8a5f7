// The computers the browser offers: hosts of the operator's ssh configuration (the file
// TESMAR_SSH_CONFIG names, else ~/.ssh/config) without wildcards, plain host names of
// ~/.ssh/known_hosts, hosts that announce ssh on the local network (avahi-browse, where it is
// installed, for at most 2 s), and this host. Sorted, each once.
#pragma once

#include <QString>
#include <QStringList>

namespace tesmar::gui {

QStringList ComputerCandidates();

// The parts, on the text they read.
// "Host" lines: every name that is no pattern (*, ?, !).
QStringList SshConfigHosts(const QString& config);
// Host names of known_hosts lines: no hashed entries, no [host]:port, no addresses, no
// patterns, no @cert-authority or @revoked lines.
QStringList KnownHostsNames(const QString& knownHosts);
// Host names of resolved entries of `avahi-browse -t -r -p -k _ssh._tcp`.
QStringList AvahiHosts(const QString& output);

}  // namespace tesmar::gui
