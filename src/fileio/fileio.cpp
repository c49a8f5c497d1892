#include "fileio/fileio.h"

#include <atomic>
#include <utility>

#include "fileio/fileio_platform.h"

namespace {
std::atomic<int> g_writesUntilFault{0};
std::atomic<void (*)()> g_beforeSwap{nullptr};
thread_local SwapGate* t_gate = nullptr;
enum : int { kGateOpen, kGateSwapping, kGateClosed };
}  // namespace

bool SwapGate::Close() { return state_.exchange(kGateClosed) != kGateSwapping; }

void PassSwapsThrough(SwapGate* gate) { t_gate = gate; }

FileHandle::~FileHandle() { Close(); }

FileHandle::FileHandle(FileHandle&& other) noexcept : handle_(std::exchange(other.handle_, kInvalid)) {}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = std::exchange(other.handle_, kInvalid);
    }
    return *this;
}

FolderHandle::FolderHandle(FolderHandle&& other) noexcept
    : handle_(std::exchange(other.handle_, kInvalid)),
      error_(other.error_),
      confinement_(std::move(other.confinement_)),
      name_(std::move(other.name_)),
      path_(std::move(other.path_)),
      where_(std::move(other.where_)),
      file_(std::move(other.file_)),
      fileError_(other.fileError_),
      fileTried_(other.fileTried_) {}

FolderHandle::~FolderHandle() { Close(); }

FolderHandle& FolderHandle::operator=(FolderHandle&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = std::exchange(other.handle_, kInvalid);
        error_ = other.error_;
        confinement_ = std::move(other.confinement_);
        name_ = std::move(other.name_);
        path_ = std::move(other.path_);
        where_ = std::move(other.where_);
        file_ = std::move(other.file_);
        fileError_ = other.fileError_;
        fileTried_ = other.fileTried_;
    }
    return *this;
}

FileHandle& FolderHandle::File() const {
    if (!fileTried_) {
        fileTried_ = true;
        file_ = FileHandle::OpenIn(*this);
        fileError_ = file_.IsOpen() ? 0 : LastFileError();
    }
    return file_;
}

void FailFileWriteForTesting(int nth) { g_writesUntilFault = nth > 0 ? nth : 0; }

void BeforeSwapForTesting(void (*hook)()) { g_beforeSwap = hook; }

void fileio_platform::RunBeforeSwapHook() {
    if (void (*hook)() = g_beforeSwap.load()) hook();
}

bool fileio_platform::TakeWriteFault() {
    int left = g_writesUntilFault.load();
    while (left > 0) {
        if (g_writesUntilFault.compare_exchange_weak(left, left - 1)) return left == 1;
    }
    return false;
}

ReplacementFile::ReplacementFile(const FolderHandle& folder) : folder_(folder) {
    if (!folder.IsOpen()) {
        error_ = folder.Error();
        failed_ = true;
        return;
    }
    // A file the folder holds stays held, gone from its name or not: one
    // that went away is found so at the swap, and not made again.
    targetExists_ = folder.File().IsOpen();
    if (!targetExists_ && !NamesNoFile(folder.FileError())) {
        error_ = folder.FileError();
        failed_ = true;
        return;
    }
    if (!CreateTemporary()) {
        error_ = LastFileError();
        failed_ = true;
        Discard();
    }
}

ReplacementFile::~ReplacementFile() { Discard(); }

bool ReplacementFile::Write(const void* data, size_t count) {
    if (failed_ || !file_.IsOpen()) return false;
    if (count == 0) return true;
    if (!file_.Write(data, count)) {
        error_ = LastFileError();
        failed_ = true;
    }
    return !failed_;
}

bool ReplacementFile::Commit() {
    if (failed_ || !file_.IsOpen() || !file_.Flush()) {
        if (error_ == 0) error_ = LastFileError();
        Discard();
        return false;
    }
    fileio_platform::RunBeforeSwapHook();
    // A folder moved since it was opened is no longer the file's: its path
    // now leads to whatever was put there instead.
    if (!folder_.StillInPlace()) {
        error_ = kErrorLinkInPath;
        Discard();
        return false;
    }
    // Work its run has given up on must not replace the file afterwards.
    SwapGate* const gate = t_gate;
    int open = kGateOpen;
    if (gate && !gate->state_.compare_exchange_strong(open, kGateSwapping)) {
        error_ = kErrorCancelled;
        Discard();
        return false;
    }
    const bool swapped = SwapIn();
    const uint32_t why = LastFileError();
    int swapping = kGateSwapping;
    if (gate) gate->state_.compare_exchange_strong(swapping, kGateOpen);
    if (!swapped) {
        error_ = why;
        Discard();
        return false;
    }
    tempName_.clear();
    file_.Close();
    return true;
}

void ReplacementFile::Discard() {
    if (!tempName_.empty()) RemoveTemporary();
    file_.Close();
    tempName_.clear();
    failed_ = true;
}
