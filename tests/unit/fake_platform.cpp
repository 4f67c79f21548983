#include "fake_platform.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>

namespace kolorvane::testing {

namespace {

FakePlatform& fakeOf(void* context) { return *static_cast<FakePlatform*>(context); }

// Logs the call, and keeps what a power cut before it would leave.
void logCall(FakePlatform& fake, const std::string& line) {
    fake.log.push_back(line);
    if (fake.recordCuts) {
        fake.cuts.push_back(fake.durable);
    }
}

// A move's durable side: the file's flushed bytes go with its name.
void moveDurable(FakePlatform& fake, const std::string& source, const std::string& target) {
    const auto found = fake.durable.find(source);
    if (found == fake.durable.end()) {
        fake.durable.erase(target);
        return;
    }
    fake.durable[target] = found->second;
    fake.durable.erase(source);
}

// The identity of a file moved from `source` to `target` goes with it.
void moveIdentity(FakePlatform& fake, const std::string& source, const std::string& target) {
    fake.identities[target] = fake.identities[source];
    fake.identities.erase(source);
}

FileIdentity newIdentity(FakePlatform& fake, std::uint32_t mode) {
    return FileIdentity{1, fake.nextIndex++, mode, 0, 0, 0, 0};
}

// Counts the call and says whether it is the one to fail.
bool failsNow(FakePlatform& fake) { return fake.failableCalls++ == fake.failAt; }

// Failures with Windows' codes for them, as the Win32 platform reports them.
constexpr Failure kInjected = {Cause::Other, 5};  // access denied
constexpr Failure kMissing = {Cause::NoSuchFile, 2};
constexpr Failure kFolder = {Cause::Folder, 5};
constexpr Failure kTaken = {Cause::Exists, 183};

Failure succeededIf(bool ok) { return ok ? kSucceeded : kInjected; }

bool isAbsolute(const std::string& name) {
    return (name.size() >= 3 && name[1] == ':' && name[2] == '\\') || name.rfind("\\\\", 0) == 0;
}

bool isDirectory(const FakePlatform& fake, const std::string& path) {
    std::string asDirectory = path;
    if (asDirectory.empty() || asDirectory.back() != '\\') {
        asDirectory += '\\';
    }
    return fake.directories.count(asDirectory) != 0;
}

bool isLeadByte(unsigned char byte) {
    // Code page 932.
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// The directory of a full path, split at its last backslash character (not
// at a 5C trail byte), backslash included.
std::string parentOf(const std::string& path) {
    std::size_t at = std::string::npos;
    for (std::size_t i = 0; i < path.size(); i++) {
        if (isLeadByte(static_cast<unsigned char>(path[i]))) {
            i++;
        } else if (path[i] == '\\') {
            at = i;
        }
    }
    return at == std::string::npos ? std::string() : path.substr(0, at + 1);
}

OpenFile* findOpen(FakePlatform& fake, FileHandle file) {
    const auto it = fake.open.find(static_cast<std::intptr_t>(file));
    return it == fake.open.end() ? nullptr : &it->second;
}

FileHandle newHandle(FakePlatform& fake, const std::string& path, bool writable) {
    const std::intptr_t handle = fake.nextHandle++;
    fake.open[handle] = OpenFile{path, 0, writable};
    return static_cast<FileHandle>(handle);
}

std::string handleName(FileHandle file) { return std::to_string(static_cast<std::intptr_t>(file)); }

Failure openSource(void* context, const char* path, FileHandle* file) {
    FakePlatform& fake = fakeOf(context);
    logCall(fake, std::string("open ") + path);
    *file = kInvalidFile;
    if (failsNow(fake)) {
        return kInjected;
    }
    const std::string full = resolve(fake, path);
    if (isDirectory(fake, full)) {
        return kFolder;
    }
    if (fake.files.count(full) == 0) {
        return kMissing;
    }
    *file = newHandle(fake, full, false);
    return kSucceeded;
}

Failure createNewFile(void* context, const char* path, const FileIdentity* source,
                      FileHandle* file) {
    FakePlatform& fake = fakeOf(context);
    logCall(fake, std::string("create ") + path);
    *file = kInvalidFile;
    if (failsNow(fake)) {
        return kInjected;
    }
    const std::string full = resolve(fake, path);
    if (!isDirectory(fake, parentOf(full))) {
        return kMissing;
    }
    if (fake.files.count(full) != 0 || isDirectory(fake, full)) {
        return kTaken;
    }
    fake.files[full] = Bytes();
    fake.durable[full] = Bytes();
    fake.identities[full] = newIdentity(fake, source != nullptr ? source->mode : kNewFileMode);
    *file = newHandle(fake, full, true);
    return kSucceeded;
}

Failure readFile(void* context, FileHandle file, std::size_t capacity, unsigned char* bytes,
                 std::size_t* bytesRead) {
    FakePlatform& fake = fakeOf(context);
    logCall(fake, "read " + handleName(file));
    *bytesRead = 0;
    OpenFile* handle = findOpen(fake, file);
    if (failsNow(fake) || handle == nullptr) {
        return kInjected;
    }
    const Bytes& contents = fake.files[handle->path];
    std::size_t count =
        std::min(capacity, contents.size() - std::min(handle->position, contents.size()));
    if (fake.readChunk != 0) {
        count = std::min(count, fake.readChunk);
    }
    std::copy_n(contents.begin() + static_cast<std::ptrdiff_t>(handle->position), count, bytes);
    handle->position += count;
    *bytesRead = count;
    return kSucceeded;
}

// As pread: refused for a file whose size is not known, as for a FIFO.
Failure readFileAt(void* context, FileHandle file, std::uint64_t offset, std::size_t capacity,
                   unsigned char* bytes, std::size_t* bytesRead) {
    FakePlatform& fake = fakeOf(context);
    logCall(fake, "readat " + handleName(file) + " " + std::to_string(offset));
    *bytesRead = 0;
    const OpenFile* handle = findOpen(fake, file);
    if (failsNow(fake) || handle == nullptr || !fake.sizeKnown) {
        return kInjected;
    }
    const Bytes& contents = fake.files[handle->path];
    const std::size_t from =
        static_cast<std::size_t>(std::min<std::uint64_t>(offset, contents.size()));
    std::size_t count = std::min(capacity, contents.size() - from);
    if (fake.readChunk != 0) {
        count = std::min(count, fake.readChunk);
    }
    std::copy_n(contents.begin() + static_cast<std::ptrdiff_t>(from), count, bytes);
    *bytesRead = count;
    return kSucceeded;
}

Failure writeFile(void* context, FileHandle file, const unsigned char* bytes, std::size_t size,
                  std::size_t* bytesWritten) {
    FakePlatform& fake = fakeOf(context);
    logCall(fake, "write " + handleName(file));
    *bytesWritten = 0;
    OpenFile* handle = findOpen(fake, file);
    if (failsNow(fake) || handle == nullptr || !handle->writable) {
        return kInjected;
    }
    const std::size_t count = fake.writeChunk != 0 ? std::min(size, fake.writeChunk) : size;
    Bytes& contents = fake.files[handle->path];
    contents.resize(std::max(contents.size(), handle->position + count));
    std::copy_n(bytes, count, contents.begin() + static_cast<std::ptrdiff_t>(handle->position));
    handle->position += count;
    *bytesWritten = count;
    return kSucceeded;
}

Failure identifyFile(void* context, FileHandle file, FileIdentity* identity) {
    FakePlatform& fake = fakeOf(context);
    logCall(fake, "identify " + handleName(file));
    OpenFile* handle = findOpen(fake, file);
    if (failsNow(fake) || handle == nullptr) {
        return kInjected;
    }
    *identity = fake.identities[handle->path];
    identity->size = fake.sizeKnown ? fake.files[handle->path].size() : kUnknownSize;
    return kSucceeded;
}

// Where a full path leads through the links, as many as 40 of them.
std::string followLinks(const FakePlatform& fake, std::string path) {
    for (int links = 0; links < 40 && fake.links.count(path) != 0; links++) {
        path = fake.links.at(path);
    }
    return path;
}

Failure findTarget(void* context, const char* folder, const char* name, TargetPlace* place,
                   FileIdentity* identity) {
    FakePlatform& fake = fakeOf(context);
    logCall(fake, std::string("find ") + folder + name);
    if (failsNow(fake)) {
        return kInjected;
    }
    const std::string named = resolve(fake, std::string(folder) + name);
    const std::string path = followLinks(fake, named);
    const std::string parent = path == named ? folder : parentOf(path);
    const std::string leaf = path == named ? name : path.substr(parentOf(path).size());
    std::snprintf(place->folder, kMaxPath, "%s", parent.c_str());
    std::snprintf(place->name, kMaxPath, "%s", leaf.c_str());
    if (isDirectory(fake, path)) {
        *identity = FileIdentity{1, 0, 040755, 0, 0, 0, kUnknownSize};
        return kSucceeded;
    }
    if (fake.files.count(path) == 0) {
        return path == named ? kMissing : Failure{Cause::Dangling, 2};
    }
    *identity = fake.identities[path];
    identity->size = fake.sizeKnown ? fake.files[path].size() : kUnknownSize;
    return kSucceeded;
}

Failure keepIdentity(void* context, FileHandle file, const FileIdentity& identity) {
    FakePlatform& fake = fakeOf(context);
    logCall(fake, "keep " + std::to_string(identity.mode));
    OpenFile* handle = findOpen(fake, file);
    if (failsNow(fake) || handle == nullptr) {
        return kInjected;
    }
    FileIdentity& kept = fake.identities[handle->path];
    kept.mode = identity.mode;
    kept.owner = identity.owner;
    kept.group = identity.group;
    kept.created = identity.created;
    return kSucceeded;
}

Failure flushFile(void* context, FileHandle file) {
    FakePlatform& fake = fakeOf(context);
    logCall(fake, "flush " + handleName(file));
    OpenFile* handle = findOpen(fake, file);
    if (failsNow(fake) || handle == nullptr) {
        return kInjected;
    }
    fake.durable[handle->path] = fake.files[handle->path];
    return kSucceeded;
}

Failure closeFile(void* context, FileHandle file) {
    FakePlatform& fake = fakeOf(context);
    logCall(fake, "close " + handleName(file));
    // The handle is gone whether or not the close reports success, as with
    // CloseHandle; only an unknown handle is a fault of the caller.
    const bool known = fake.open.erase(static_cast<std::intptr_t>(file)) != 0;
    if (!known) {
        fake.closeTwiceSeen = true;
    }
    return succeededIf(!failsNow(fake) && known);
}

Failure replaceFile(void* context, const char* from, const char* to) {
    FakePlatform& fake = fakeOf(context);
    logCall(fake, std::string("replace ") + from + " " + to);
    if (failsNow(fake)) {
        return kInjected;
    }
    const std::string source = resolve(fake, from);
    const std::string target = resolve(fake, to);
    for (const auto& entry : fake.open) {
        if (entry.second.path == source || entry.second.path == target) {
            return kInjected;  // Windows moves no open file
        }
    }
    if (fake.files.count(source) == 0 || isDirectory(fake, target)) {
        return kInjected;
    }
    fake.files[target] = fake.files[source];
    fake.files.erase(source);
    moveDurable(fake, source, target);
    moveIdentity(fake, source, target);
    return kSucceeded;
}

Failure moveToNewName(void* context, const char* from, const char* to) {
    FakePlatform& fake = fakeOf(context);
    logCall(fake, std::string("movenew ") + from + " " + to);
    if (failsNow(fake)) {
        return kInjected;
    }
    const std::string source = resolve(fake, from);
    const std::string target = resolve(fake, to);
    if (fake.files.count(target) != 0 || isDirectory(fake, target)) {
        return kTaken;
    }
    for (const auto& entry : fake.open) {
        if (entry.second.path == source) {
            return kInjected;  // Windows moves no open file
        }
    }
    if (fake.files.count(source) == 0) {
        return kMissing;
    }
    fake.files[target] = fake.files[source];
    fake.files.erase(source);
    moveDurable(fake, source, target);
    moveIdentity(fake, source, target);
    return kSucceeded;
}

Failure removeFile(void* context, const char* path) {
    FakePlatform& fake = fakeOf(context);
    logCall(fake, std::string("remove ") + path);
    if (failsNow(fake)) {
        return kInjected;
    }
    fake.durable.erase(resolve(fake, path));
    fake.identities.erase(resolve(fake, path));
    return fake.files.erase(resolve(fake, path)) != 0 ? kSucceeded : kMissing;
}

Failure setCurrentDirectory(void* context, const char* directory) {
    FakePlatform& fake = fakeOf(context);
    logCall(fake, std::string("chdir ") + directory);
    if (failsNow(fake)) {
        return kInjected;
    }
    std::string full = resolve(fake, directory);
    if (full.back() != '\\') {
        full += '\\';
    }
    if (!isDirectory(fake, full)) {
        return kMissing;
    }
    fake.currentDirectory = full;
    return kSucceeded;
}

void showNotice(void* context, const char* text, const char* caption) {
    FakePlatform& fake = fakeOf(context);
    logCall(fake, std::string("notice ") + text + "|" + caption);
    fake.notices.push_back(std::string(text) + "|" + caption);
    if (fake.onNotice) {
        const auto nested = fake.onNotice;
        fake.onNotice = nullptr;  // one nested drop, not an endless chain
        nested();
    }
}

}  // namespace

Platform makePlatform(FakePlatform* fake) { return KOLORVANE_PLATFORM_TABLE(fake); }

void addDirectory(FakePlatform* fake, const std::string& directory) {
    std::string path = directory;
    if (path.back() != '\\') {
        path += '\\';
    }
    fake->directories.insert(path);
}

Bytes randomBytes(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    Bytes bytes(size);
    for (auto& b : bytes) {
        b = static_cast<unsigned char>(random());
    }
    return bytes;
}

void addFile(FakePlatform* fake, const std::string& path, const Bytes& contents) {
    addDirectory(fake, parentOf(path));
    fake->files[path] = contents;
    fake->durable[path] = contents;
    fake->identities[path] = newIdentity(*fake, 0644);
}

std::string resolve(const FakePlatform& fake, const std::string& name) {
    return isAbsolute(name) ? name : fake.currentDirectory + name;
}

std::vector<std::map<std::string, Bytes>> powerCuts(const FakePlatform& fake) {
    std::vector<std::map<std::string, Bytes>> all = fake.cuts;
    all.push_back(fake.durable);
    return all;
}

std::vector<std::string> filesIn(const FakePlatform& fake, const std::string& directory) {
    std::vector<std::string> names;
    for (const auto& entry : fake.files) {
        if (parentOf(entry.first) == directory) {
            names.push_back(entry.first.substr(directory.size()));
        }
    }
    return names;
}

}  // namespace kolorvane::testing
