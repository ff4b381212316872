#include "FlashSteps.h"

#include "Interrupt.h"

namespace loadstar::cli {

namespace {

struct StepTexts {
    const char* name;
    const char* label;
};
// In the order of FlashStep.
constexpr StepTexts stepTexts[] = {
    {"erase", "Erasing"}, {"program", "Programming"}, {"verify", "Verifying"}};

}  // namespace

const char* flashStepName(FlashStep step) {
    return stepTexts[static_cast<int>(step)].name;
}

const char* flashStepLabel(FlashStep step) {
    return stepTexts[static_cast<int>(step)].label;
}

FlashOutcome flashSector(SectorOperations& operations, BoardCommands& board,
                         const SectorGeometry& geometry, std::span<const std::uint8_t> image,
                         FlashPlan plan, const std::function<void(FlashStep, long)>& announce) {
    FlashOutcome outcome;
    const auto interrupted = [&outcome](FlashStep step) {
        outcome.step = step;
        outcome.result = InterruptGuard::interrupted() ? -1 : 1;
        return outcome.result == -1;
    };
    if (plan.erase) {
        if (interrupted(FlashStep::erase)) {
            return outcome;
        }
        announce(FlashStep::erase, geometry.sectorSize);
        board.ui().reportProgress(0, geometry.sectorSize);
        if (board.eraseSector(geometry.kind, geometry.sector, geometry.baseAddress) == 0) {
            outcome.result = 0;
            return outcome;
        }
        board.ui().reportProgress(geometry.sectorSize, geometry.sectorSize);
    }
    if (image.empty() || interrupted(FlashStep::program)) {
        return outcome;
    }
    const auto length = static_cast<long>(image.size());
    announce(FlashStep::program, length);
    outcome.result =
        operations.programImage(geometry.kind, geometry.sector, geometry.baseAddress, image);
    if (outcome.result != 1 || !plan.verify || interrupted(FlashStep::verify)) {
        return outcome;
    }
    announce(FlashStep::verify, length);
    operations.setCountEveryDifference(true);
    outcome.result =
        operations.verifyImage(geometry.kind, geometry.sector, geometry.baseAddress, image);
    outcome.differences = operations.differenceCount();
    outcome.firstDifference = operations.firstDifferenceAddress();
    return outcome;
}

}  // namespace loadstar::cli
