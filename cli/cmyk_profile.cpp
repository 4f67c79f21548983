#include "cmyk_profile.h"

#include <cstdlib>

#include "builtin_profile.h"
#include "files.h"
#include "messages.h"

namespace kolorvane {

namespace {

ProfileLoad failedWith(ProfileFailure failure, std::uint32_t code = 0) {
    ProfileLoad load{};  // no check made
    load.failure = failure;
    load.code = code;
    return load;
}

// What kept the file from being read, in the terms of a usage error.
ProfileLoad sourceFailure(const SourceResult& result) {
    const Failure failure = result.failure;
    if (failure.cause == Cause::NoSuchFile || failure.cause == Cause::Folder) {
        return failedWith(failure.cause == Cause::NoSuchFile ? ProfileFailure::NoSuchFile
                                                             : ProfileFailure::Folder);
    }
    return failedWith(result.status == SourceStatus::NotOpened ? ProfileFailure::NotOpened
                                                               : ProfileFailure::NotRead,
                      failure.code);
}

// The user's profile into a buffer of its own, one byte larger than the
// largest, to tell a file that has more; kept for the run, as LittleCMS
// opens the profile at the first CMYK colour.
ProfileLoad readProfile(const Host& host, const char* path, RunColors* colors) {
    auto* bytes = static_cast<unsigned char*>(std::malloc(kMaxProfileSize + 1));
    if (bytes == nullptr) {
        return failedWith(ProfileFailure::NoMemory);
    }
    std::size_t size = 0;
    const SourceResult result =
        readSourceBytes(host.platform, path, bytes, kMaxProfileSize + 1, &size);
    ProfileLoad load = failedWith(ProfileFailure::None);
    if (result.status != SourceStatus::Read) {
        load = sourceFailure(result);
    } else if (size > kMaxProfileSize) {
        load = failedWith(ProfileFailure::TooLarge);
    } else {
        load.check = checkCmykProfile(bytes, size);
        load.failure = load.check.problem == ProfileProblem::None ? ProfileFailure::None
                                                                  : ProfileFailure::Refused;
    }
    if (load.failure != ProfileFailure::None) {
        std::free(bytes);
        return load;
    }
    colors->profile = bytes;
    colors->management = startColorManagement(bytes, size);
    return load;
}

}  // namespace

ProfileLoad startRunColors(const Host& host, const char* path, RunColors* colors) {
    *colors = RunColors{};
    if (path != nullptr) {
        return readProfile(host, path, colors);
    }
    const unsigned char* bytes = nullptr;
    std::size_t size = 0;
    if (!builtInCmykProfile(&bytes, &size)) {
        bytes = nullptr;
        size = 0;
    }
    colors->management = startColorManagement(bytes, size);
    return failedWith(ProfileFailure::None);
}

void endRunColors(RunColors* colors) {
    endColorManagement(&colors->management);
    std::free(colors->profile);
    colors->profile = nullptr;
}

void describeProfileLoad(const char* path, const ProfileLoad& load, const char* systemWords,
                         char* text, std::size_t capacity) {
    text[0] = '\0';
    Text words = {text, capacity, 0};
    add(&words, "--cmyk-profile ");
    add(&words, path);
    add(&words, ": ");
    switch (load.failure) {
        case ProfileFailure::NoSuchFile:
            return add(&words, "no such file");
        case ProfileFailure::Folder:
            return add(&words, "is a folder, not a file");
        case ProfileFailure::NotOpened:
        case ProfileFailure::NotRead:
            add(&words, load.failure == ProfileFailure::NotOpened ? "cannot open" : "cannot read");
            add(&words, systemWords[0] != '\0' ? ": " : "");
            return add(&words, systemWords);
        case ProfileFailure::TooLarge:
            add(&words, "larger than ");
            addNumber(&words,
                      static_cast<std::uint32_t>(kMaxProfileSize / (std::size_t{1024} * 1024)));
            return add(&words, " MiB, the most a profile is read from");
        case ProfileFailure::NoMemory:
            return add(&words, "out of memory");
        case ProfileFailure::Refused:
        case ProfileFailure::None:
            break;
    }
    addProfileCheck(&words, load.check);
}

}  // namespace kolorvane
