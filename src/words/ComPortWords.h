#pragma once

#include <string>

#include "link/ComPortName.h"

namespace loadstar {

// What --port takes and what stands for COM1 on this system, for help texts.
std::string comPortDescription();

// Why a device stands for COM1, for the user: "the link /dev/COM1 exists (made by a udev rule or
// an administrator)", with the per-user links passed over and why.
std::string comPortChoiceWords(const ComPortChoice& choice);

}  // namespace loadstar
