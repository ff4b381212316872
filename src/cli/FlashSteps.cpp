#include "cli/FlashSteps.h"

#include "cli/CommandResult.h"
#include "cli/Interrupt.h"
#include "cli/OutcomeMessages.h"

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

std::string sectorStateText(const FlashOutcome& outcome) {
    const std::string programmed =
        outcome.programmedEnd ? "programmed up to " + boardAddressText(*outcome.programmedEnd - 1)
                              : "";
    if (outcome.imageWritten) {
        return "the sector holds the new image, " +
               std::string(outcome.step == FlashStep::verify ? "not verified" : "written");
    }
    if (outcome.erased) {
        return "the sector is erased" + (programmed.empty() ? "" : " and " + programmed) +
               ": its old contents are gone";
    }
    if (outcome.eraseSent) {
        return "the sector may be partly erased: its old contents may be gone";
    }
    return programmed.empty() ? "" : "the sector is " + programmed;
}

std::string boardHoldsName(const FlashOutcome& outcome) {
    if (outcome.imageWritten) {
        if (outcome.step != FlashStep::verify || outcome.result != 1) {
            return "new image, not verified";
        }
        return outcome.differences > 0 ? "new image, differs" : "new image, verified";
    }
    const std::string programmed =
        outcome.programmedEnd ? "programmed up to " + boardAddressText(*outcome.programmedEnd - 1)
                              : "";
    if (outcome.erased) {
        return programmed.empty() ? "erased" : "erased, " + programmed;
    }
    if (outcome.eraseSent) {
        return "partly erased";
    }
    return programmed.empty() ? "untouched" : programmed;
}

FlashOutcome flashSector(SectorOperations& operations, BoardCommands& board,
                         TerminalUserInterface& ui, const SectorGeometry& geometry,
                         const SectorImage& image, FlashPlan plan,
                         const std::function<void(FlashStep, long)>& announce) {
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
        ui.reportProgress(0, geometry.sectorSize);
        const Outcome erased =
            board.eraseSector(geometry.kind, geometry.sector, geometry.baseAddress);
        outcome.eraseSent = true;
        if (!erased.ok()) {
            reportCommandFailure(ui, erased);
            outcome.result = 0;
            return outcome;
        }
        outcome.erased = true;
        ui.reportProgress(geometry.sectorSize, geometry.sectorSize);
    }
    if (interrupted(FlashStep::program)) {
        return outcome;
    }
    const auto length = static_cast<long>(image.loadedLength());
    announce(FlashStep::program, length);
    const Outcome programmed =
        operations.programImage(geometry.kind, geometry.sector, geometry.baseAddress, image);
    outcome.result = reportPass(ui, programmed);
    outcome.programmedEnd = programmed.programmedEnd;
    outcome.imageWritten = outcome.result == 1;
    if (outcome.result != 1 || !plan.verify || interrupted(FlashStep::verify)) {
        return outcome;
    }
    announce(FlashStep::verify, image.definedEnd());
    operations.setCountEveryDifference(true);
    const Outcome verified =
        operations.verifyImage(geometry.kind, geometry.sector, geometry.baseAddress, image);
    outcome.result = reportPass(ui, verified, PassFinding::verify);
    outcome.differences = verified.differences;
    outcome.firstDifference = verified.firstDifference;
    return outcome;
}

}  // namespace loadstar::cli
