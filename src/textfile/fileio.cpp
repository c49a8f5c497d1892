#include "textfile/fileio.h"

#include <atomic>
#include <utility>

#include "textfile/fileio_platform.h"

namespace {
std::atomic<int> g_writesUntilFault{0};
}  // namespace

FileHandle::~FileHandle() { Close(); }

FileHandle::FileHandle(FileHandle&& other) noexcept : handle_(std::exchange(other.handle_, kInvalid)) {}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = std::exchange(other.handle_, kInvalid);
    }
    return *this;
}

void FailFileWriteForTesting(int nth) { g_writesUntilFault = nth > 0 ? nth : 0; }

bool fileio_platform::TakeWriteFault() {
    int left = g_writesUntilFault.load();
    while (left > 0) {
        if (g_writesUntilFault.compare_exchange_weak(left, left - 1)) return left == 1;
    }
    return false;
}

ReplacementFile::ReplacementFile(const std::u16string& target) : target_(target) {
    const fileio_platform::Target state = fileio_platform::ProbeReplaceTarget(target);
    if (state == fileio_platform::Target::Refused) {
        error_ = LastFileError();
        failed_ = true;
        return;
    }
    targetExists_ = state == fileio_platform::Target::Replaceable;
    // The temporary file sits beside the target so that the swap is a
    // rename within one volume, never a copy.
    for (int attempt = 0; attempt < 8 && !file_.IsOpen(); ++attempt) {
        temp_ = target + u".~" + fileio_platform::UniqueTag() + u".tmp";
        file_ = FileHandle::Open(temp_, FileHandle::Access::CreateNew);
    }
    if (!file_.IsOpen()) {
        error_ = LastFileError();
        failed_ = true;
        temp_.clear();
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
    file_.Close();
    if (!fileio_platform::SwapIn(temp_, target_, targetExists_)) {
        error_ = LastFileError();
        Discard();
        return false;
    }
    temp_.clear();
    return true;
}

void ReplacementFile::Discard() {
    file_.Close();
    if (!temp_.empty()) fileio_platform::RemoveFile(temp_);
    temp_.clear();
    failed_ = true;
}
