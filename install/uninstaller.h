// Uninstall's steps: after the operator's Yes, the service stopped (waited for, within a bound)
// and removed through Scmkit, the service program renamed in InstallDir, the system's registry
// keys deleted, and the platform's uninstaller started without waiting for it.
#pragma once

#include <string>

#include "operator_message.h"

namespace tesmar::install {

inline constexpr char kUninstallCaption[] = "Kaltrix Tesmar - Uninstall";
inline constexpr char kUninstallQuestion[] =
    "WARNING: If you are sure you want to remove Kaltrix Tesmar, then select the YES button on "
    "this dialog box AND ALSO SELECT YES when you see the dialog box following this one. The "
    "dialog box following this one (if you select YES on this one) will be titled \"Confirm File "
    "Deletion.\" Again, be sure to select YES when you see the \"Confirm File Deletion\" dialog "
    "box. In no case should you select NO when you see the \"Confirm File Deletion\" dialog box.";
// The platform's uninstaller, looked for beside Uninstall first: it removes the package, or
// the files an install manifest lists ("-f" and the manifest's path).
inline constexpr char kUninstallerProgram[] = "tesmar-uninstaller";
inline constexpr char kServiceProgram[] = "/tesmarsr";
inline constexpr char kRenamedServiceProgram[] = "/ttesmarsr";
inline constexpr char kInstallManifest[] = "/install_manifest.txt";

// Runs the steps and returns 0, or 1 when the service did not stop (its keys are then left in
// place, since a running service would make them again). Progress and what was skipped go to
// standard error.
int RunUninstall(const OperatorMessage& ask, const std::string& uninstallerProgram);

}  // namespace tesmar::install
