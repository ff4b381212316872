#pragma once

#include <string>

#include "iap/FileFault.h"

namespace loadstar {

// Why a file could not be saved (or a folder or link was refused), in words for messages that
// name the file: "Permission denied by the folder /srv/out", "the link /tmp/x: ...". Empty when
// nothing refused.
std::string fileFaultWords(const FileFault& fault);

}  // namespace loadstar
