#pragma once

namespace loadstar {

// A program started with its standard input, output or error closed (by a service manager, or a
// script's `>&-`) would hand that number to the next file it opens. Its serial device would then
// become "standard output", and the data or progress meant for the user would be sent to the
// board as if they were commands. Each program therefore calls this first, before it opens
// anything: every one of descriptors 0-2 that is closed is opened on the null device, so that
// what would have gone there is dropped and no later open can take its number.
//
// False when a closed one could not be opened: the program must then end at once without opening
// anything (it has no stderr to say why if that was the one closed).
//
// `reopened`, when given, tells which of them were closed (bit 0 input, 1 output, 2 error): a
// program that would hand the user data there can refuse instead of dropping it.
[[nodiscard]] bool keepStandardDescriptorsOpen(unsigned* reopened = nullptr);

inline constexpr unsigned standardOutputBit = 1u << 1;

}  // namespace loadstar
