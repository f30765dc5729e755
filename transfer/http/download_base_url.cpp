// Compiled into each downloading program with the host it was built for.
#include "transfer/http/download_file.h"

namespace zephora {

const Text DownloadBaseUrl = Text(u"http://") + ZEPHORA_DOWNLOAD_HOST + u"/zephora/";

}  // namespace zephora
