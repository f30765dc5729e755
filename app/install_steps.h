// The installation run's own work on the machine: the install folder, the
// settings file and the desktop folder.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "platform/text.h"
#include "transfer/http/download_file.h"
#include "transfer/zip/unpack_archive.h"

namespace zephora {

// The drive letter followed by ":\ZEPHORA\".
Text InstallFolderOf(char16_t drive);

// A folder that exists, or that cannot be examined for a reason other than
// its absence or a bad name (so a folder we may not read counts as there).
bool FolderExistsForInstall(const Text& folder);
// Creates the folder with any missing parents, parents first. Failures are
// not reported here: they show when the first file is created in it.
void ForceDirectories(const Text& folder);
// The install folder as the run makes it: created unless it exists.
void MakeInstallFolder(const Text& folder);

// Writes TAAL in section SETUP of the settings file. Throws "Unable to write
// to %s" when the platform refuses.
void WriteSettingsLanguage(const Text& settingsFile, const Text& language);

// The user's desktop folder as "Shell Folders" stores it, read as stored;
// nothing when the key cannot be opened for reading (or does not exist). Throws "Invalid data
// type for '%s'" and "Failed to get data for '%s'".
std::optional<Text> ReadShellFoldersDesktop();

// The shell's answer when asked for the user's desktop folder: the folder,
// or an empty path and the result code that says why there is none.
struct TShellFolder {
  Text Path;
  std::int32_t Result = 0;
};
TShellFolder ShellDesktopFolder();

// The run's work outside the window, which a test may replace to prove the
// window's part of each outcome without a server: making the install
// folder, fetching a package into its local file, unpacking it there, and
// asking the registry and the shell where the desktop is.
struct TInstallWork {
  std::function<void(const Text& folder)> MakeFolder = MakeInstallFolder;
  std::function<void(THttpClient&, const Text& baseUrl, const Text& packagePath,
                     const Text& localFile)>
      Download = DownloadFile;
  std::function<void(TUnZipper&, const Text& localFile)> Unpack = UnpackArchive;
  std::function<std::optional<Text>()> ReadDesktop = ReadShellFoldersDesktop;
  std::function<TShellFolder()> ShellDesktop = ShellDesktopFolder;
};

// The folder for the desktop shortcut: the "Desktop" value as stored, unless
// the shell names another folder, which then wins; the shell's folder too
// where the key cannot be opened or the value is missing or empty. Throws "Cannot create the
// shortcut "%s". %s", naming `linkName`, when there is no desktop folder at all.
Text DesktopFolderFor(const TInstallWork& work, const Text& linkName);

}  // namespace zephora
