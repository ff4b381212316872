#pragma once

#include <string>

namespace loadstar {

// The lower-cased extension of a file name: the part from its last "." onwards, or empty when
// there is no dot or a path separator ("/", "\" or ":") follows the last one. The image loader and
// the upload pick their file format with it, so "IMAGE.BIN" is raw binary, "image.hex.bak" is
// neither format, and "dir.d/image" has no extension.
std::string fileExtension(const std::string& fileName);

}  // namespace loadstar
