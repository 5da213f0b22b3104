#pragma once
// File output that never leaves a half-written file behind, and the checks
// that go with it.
//
// TAtomicOutputFile creates a new, uniquely named temporary file in the
// target's folder; the caller writes the whole result to TempPath(), then
// Commit() flushes it to disk and renames it over the target in one step.
// Until Commit() the target is untouched; a writer that fails (an exception,
// an early return) leaves it as it was, and the destructor removes the
// temporary file.
#include <string>

class TAtomicOutputFile {
public:
    // Creates the temporary file beside Target; raises EFCreateError naming
    // Target when the folder cannot take a new file.
    explicit TAtomicOutputFile(std::string Target);
    ~TAtomicOutputFile();
    TAtomicOutputFile(const TAtomicOutputFile&) = delete;
    TAtomicOutputFile& operator=(const TAtomicOutputFile&) = delete;

    const std::string& Target() const { return target_; }
    const std::string& TempPath() const { return temp_; }

    // fsyncs the temporary file, renames it to Target (replacing a file there)
    // and fsyncs the folder. Raises EInOutError naming Target on failure, the
    // target then untouched.
    void Commit();

private:
    std::string target_;
    std::string temp_;
    bool committed_ = false;
};

// True when both names lead to the same existing file (same device and inode).
bool IsSameFile(const std::string& A, const std::string& B);
