#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cctype>

#include "devices/PortWords.h"

namespace loadstar {

std::string systemErrorText(int error) {
    char* text = nullptr;
    const DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(error), 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = length > 0 && text != nullptr
                              ? std::string(text, length)
                              : "system error " + std::to_string(static_cast<DWORD>(error));
    ::LocalFree(text);
    while (!message.empty() && (std::isspace(static_cast<unsigned char>(message.back())) != 0 ||
                                message.back() == '.')) {
        message.pop_back();
    }
    return message;
}

std::string inUseByAnotherProgramText() {
    return "the port is in use by another program";
}

}  // namespace loadstar
