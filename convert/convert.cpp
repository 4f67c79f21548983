#include "convert.h"

#include "notices.h"

namespace kolorvane {

namespace {

void showNotice(const Platform& platform, const char* text, const char* caption) {
    platform.showNotice(platform.context, text, caption);
}

bool writeFormat(const Platform& platform, FileHandle file, PaletteKind sourceKind,
                 const PalettePlanes& planes) {
    return sourceKind == PaletteKind::EdgePal ? writeColorTable(platform, file, planes)
                                              : writeEdgePal(platform, file, planes);
}

}  // namespace

SourceStatus readSource(const Platform& platform, const char* path, PaletteKind kind,
                        PalettePlanes* planes) {
    if (kind == PaletteKind::Unsupported) {
        return SourceStatus::NotOpened;
    }
    const FileHandle file = platform.openSource(platform.context, path);
    if (file == kInvalidFile) {
        return SourceStatus::NotOpened;
    }
    // Decode into a zeroed copy so that a failed read leaves the caller's
    // planes as they were.
    PalettePlanes read{};
    const ReadStatus status = kind == PaletteKind::EdgePal ? readEdgePal(platform, file, &read)
                                                           : readColorTable(platform, file, &read);
    const bool closed = platform.closeFile(platform.context, file);
    if (status == ReadStatus::Failed || !closed) {
        return SourceStatus::Failed;
    }
    if (status == ReadStatus::BadHeader) {
        return SourceStatus::BadHeader;
    }
    *planes = read;
    return SourceStatus::Read;
}

WriteStatus writeConvertedOutput(const Platform& platform, PaletteKind sourceKind,
                                 const PalettePlanes& planes, const char* directory,
                                 const char* name, ExistingOutput existing) {
    char target[kMaxPath] = {};
    if (sourceKind == PaletteKind::Unsupported || !joinPath(directory, name, target)) {
        return WriteStatus::Failed;
    }
    char temporary[kMaxPath] = {};
    const FileHandle file = platform.createTemporary(platform.context, directory, temporary);
    if (file == kInvalidFile) {
        return WriteStatus::Failed;
    }
    const bool written = writeFormat(platform, file, sourceKind, planes);
    // Closed before the move in every case: Windows moves no open file.
    const bool closed = platform.closeFile(platform.context, file);
    MoveStatus moved = MoveStatus::Failed;
    if (written && closed) {
        if (existing == ExistingOutput::Replace) {
            moved = platform.replaceFile(platform.context, temporary, target) ? MoveStatus::Moved
                                                                              : MoveStatus::Failed;
        } else {
            moved = platform.moveToNewName(platform.context, temporary, target);
        }
    }
    if (moved == MoveStatus::Moved) {
        return WriteStatus::Written;
    }
    // An output kept is only a success if the temporary file went too: one
    // left behind must be heard of, not hidden behind "left alone".
    const bool removed = platform.removeFile(platform.context, temporary);
    return moved == MoveStatus::TargetExists && removed ? WriteStatus::Kept : WriteStatus::Failed;
}

bool writeConverted(const Platform& platform, PaletteKind sourceKind, const PalettePlanes& planes,
                    const char* directory, const char* name) {
    return writeConvertedOutput(platform, sourceKind, planes, directory, name,
                                ExistingOutput::Replace) == WriteStatus::Written;
}

void handleDroppedFile(const Platform& platform, const char* path) {
    // Everything the name decides is settled before any file is touched: a
    // path that is no full path of a .pal or .act file opens nothing.
    const PaletteKind kind = classifyPath(path);
    char directory[kMaxPath] = {};
    char fileName[kMaxPath] = {};
    char output[kMaxPath] = {};
    if (kind == PaletteKind::Unsupported || !directoryPart(platform, path, directory) ||
        !fileNamePart(platform, path, fileName) ||
        !outputFileName(fileName, outputExtension(kind), output)) {
        showNotice(platform, kUnsupportedText, kWarningCaption);
        return;
    }

    PalettePlanes planes{};
    switch (readSource(platform, path, kind, &planes)) {
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
    if (!platform.setCurrentDirectory(platform.context, directory)) {
        return;
    }
    if (!writeConverted(platform, kind, planes, "", output)) {
        return;
    }
    showNotice(platform, kConvertedText, kConfirmCaption);
}

}  // namespace kolorvane
