#pragma once

#include <string>

#include "iap/ImageFile.h"

namespace loadstar {

// What is wrong with an image file, in words for messages that name the file and the line
// ("checksum 3A, but the record's bytes give 3B"); empty when nothing is.
std::string imageLoadReason(const ImageLoad& load);

}  // namespace loadstar
