#include "support/EmulatorProcess.h"

#include "support/Descriptor.h"

namespace loadstar::testing {

namespace {

std::vector<std::string> withControl(std::vector<std::string> args, const std::string& pipe) {
    args.insert(args.end(), {"--control", pipe});
    return args;
}

}  // namespace

std::string EmulatorProcess::programPath() {
    return KEL_EMULATOR_PATH;
}

EmulatorProcess::EmulatorProcess(std::vector<std::string> args)
    : child_(programPath(), withControl(std::move(args), folder_.file("control")),
             folder_.file("out"), folder_.file("err")) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (child_.waitForExit(std::chrono::milliseconds(5)) < 0 && child_.started() &&
           std::chrono::steady_clock::now() < deadline) {
        const std::string output = folder_.read("out");
        if (const auto end = output.find('\n'); end != std::string::npos) {
            devicePath_ = output.substr(0, end);
            return;
        }
    }
    startupError_ = "kel-emulator printed no device path; stderr: " + errorText();
}

bool EmulatorProcess::control(const std::string& line) const {
    // Never blocks on an emulator that is gone; a line this short goes in one write.
    const Descriptor pipe(
        ::open(folder_.file("control").c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
    const std::string text = line + "\n";
    return pipe.get() >= 0 &&
           ::write(pipe.get(), text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

int EmulatorProcess::stop(int signal) {
    child_.signal(signal);
    if (child_.waitForExit(std::chrono::seconds(10)) < 0) {
        child_.kill();
    }
    return child_.waitForExit(std::chrono::milliseconds::zero());
}

}  // namespace loadstar::testing
