// Unpacks one downloaded package into its own folder, then deletes it.
#pragma once

#include "platform/text.h"
#include "transfer/zip/unzipper.h"

namespace zephora {

using zip::TUnZipper;

// Raises zephora::Exception with the archive-level message on failure, and
// "Could not extract %d file: %s" or "Could not extract %d files: %s" when
// entries could not be installed (the exact count, the first names made safe
// to show, then "..."); the package then stays on disk. When the
// unzipper's turn asks to stop, the package is deleted and TStopped goes on.
void UnpackArchive(TUnZipper& unzipper, const Text& packagePath);

}  // namespace zephora
