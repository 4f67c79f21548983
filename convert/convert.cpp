#include "convert.h"

#include "notices.h"

namespace kolorvane {

namespace {

void showNotice(const Platform& platform, const char* text, const char* caption) {
    platform.showNotice(platform.context, text, caption);
}

// The first failure of a sequence of steps: the later ones (closing, removing
// a temporary file) run to clean up, but are not the cause.
Failure firstOf(Failure first, Failure then) { return failed(first) ? first : then; }

// The whole output into a new temporary file in `directory`, closed before
// it returns in every case: Windows moves no open file.
Failure writeTemporary(const Platform& platform, PaletteKind sourceKind,
                       const PalettePlanes& planes, const char* directory, char* temporary) {
    FileHandle file = kInvalidFile;
    const Failure created = platform.createTemporary(platform.context, directory, temporary, &file);
    if (failed(created)) {
        return created;
    }
    const PaletteKind outputKind =
        sourceKind == PaletteKind::EdgePal ? PaletteKind::ColorTable : PaletteKind::EdgePal;
    const Failure written = writePalette(platform, file, outputKind, planes);
    return firstOf(written, platform.closeFile(platform.context, file));
}

Failure moveIntoPlace(const Platform& platform, const char* temporary, const char* target,
                      ExistingOutput existing) {
    return existing == ExistingOutput::Replace
               ? platform.replaceFile(platform.context, temporary, target)
               : platform.moveToNewName(platform.context, temporary, target);
}

}  // namespace

SourceResult readSource(const Platform& platform, const char* path, PaletteKind kind,
                        PalettePlanes* planes) {
    if (kind == PaletteKind::Unsupported) {
        return {SourceStatus::NotOpened, kSucceeded};
    }
    FileHandle file = kInvalidFile;
    const Failure opened = platform.openSource(platform.context, path, &file);
    if (failed(opened)) {
        return {SourceStatus::NotOpened, opened};
    }
    // Decode into a zeroed copy so that a failed read leaves the caller's
    // planes as they were.
    PalettePlanes read{};
    const ReadResult result = readPalette(platform, file, kind, &read);
    const Failure failure = firstOf(result.failure, platform.closeFile(platform.context, file));
    if (failed(failure)) {
        return {SourceStatus::Failed, failure};
    }
    if (result.status == ReadStatus::BadHeader) {
        return {SourceStatus::BadHeader, kSucceeded};
    }
    *planes = read;
    return {SourceStatus::Read, kSucceeded};
}

WriteResult writeOutput(const Platform& platform, PaletteKind sourceKind,
                        const PalettePlanes& planes, const char* directory, const char* name,
                        ExistingOutput existing) {
    char target[kMaxPath] = {};
    if (sourceKind == PaletteKind::Unsupported || !joinPath(directory, name, target)) {
        return {WriteStatus::Failed, kShortTransfer};
    }
    char temporary[kMaxPath] = {};
    Failure failure = writeTemporary(platform, sourceKind, planes, directory, temporary);
    if (temporary[0] == '\0') {
        return {WriteStatus::Failed, failure};  // no temporary file was made
    }
    if (!failed(failure)) {
        failure = moveIntoPlace(platform, temporary, target, existing);
        if (!failed(failure)) {
            return {WriteStatus::Written, kSucceeded};
        }
    }
    // An output kept is only a success if the temporary file went too: one
    // left behind must be heard of, not hidden behind "left alone".
    const Failure removed = platform.removeFile(platform.context, temporary);
    if (existing == ExistingOutput::Keep && failure.cause == Cause::Exists && !failed(removed)) {
        return {WriteStatus::Kept, kSucceeded};
    }
    return {WriteStatus::Failed, firstOf(failure, removed)};
}

void handleDroppedFile(const Platform& platform, const char* path) {
    // Everything the name decides is settled before any file is touched: a
    // path that is no full path of a .pal or .act file opens nothing. A
    // separator in the first byte alone ("\x.pal") is no folder to make
    // current.
    const PathRules rules = {"\\", platform.isLeadByte};
    PathPlan plan{};
    if (planPaths(path, rules, nullptr, &plan) != PlanStatus::Planned ||
        plan.sourceFolderLength <= 1) {
        showNotice(platform, kUnsupportedText, kWarningCaption);
        return;
    }

    PalettePlanes planes{};
    switch (readSource(platform, path, plan.kind, &planes).status) {
        case SourceStatus::Read:
            break;
        case SourceStatus::BadHeader:
            showNotice(platform, kBadHeaderText, kWarningCaption);
            return;
        case SourceStatus::NotOpened:
        case SourceStatus::Failed:
            return;
    }

    // The output is created by its bare name beside the source. Should the
    // source's directory not become current, writing would land wherever the
    // current directory happens to be, so nothing is written at all.
    if (failed(platform.setCurrentDirectory(platform.context, plan.folder))) {
        return;
    }
    if (writeOutput(platform, plan.kind, planes, "", plan.output, ExistingOutput::Replace).status !=
        WriteStatus::Written) {
        return;
    }
    showNotice(platform, kConvertedText, kConfirmCaption);
}

}  // namespace kolorvane
