#pragma once
// Saving without losing the old file. The bytes go to a new file beside the
// target; it replaces the target only after every write, the flush to the
// disk and the close have succeeded. A full disk or a file-size limit then
// leaves the old file as it was, and the caller gets the system's reason.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// Decides at the last moment whether a finished file may replace its
// target: it runs `replace` (which puts the file in place) or not, and
// returns whether it did. A watch for signals holds them off meanwhile.
using ReplaceGate = std::function<bool(const std::function<void()>& replace)>;

class FileReplacement {
public:
    explicit FileReplacement(std::string path);
    // A replacement not committed is removed; the target stays.
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    // Creates the new file in the target's folder, with the target's
    // permissions when it exists. A symbolic link keeps pointing at the file
    // it names, which is the one replaced.
    bool Create(std::string& error);
    // The new file's name, for writers that open it themselves. Their writes
    // reach the disk with Commit too, since it flushes the file, not a handle.
    const std::string& TemporaryPath() const { return m_temp; }
    bool Write(const void* data, size_t size, std::string& error);
    // Writes at that offset of the new file, whatever was written before.
    bool WriteAt(uint64_t offset, const void* data, size_t size, std::string& error);
    // Flushes the new file to the disk, closes it and moves it over the
    // target, through `gate` when there is one; a gate that declines
    // leaves the target as it was.
    bool Commit(std::string& error, const ReplaceGate& gate = {});
    void Discard();

private:
    bool Fail(std::string& error, int code);
    std::string m_path;   // as the user named it, for messages
    std::string m_target; // the file replaced
    std::string m_temp;
    int m_fd = -1;
};

// Writes bytes to `path` through a FileReplacement. On failure `error` is
// "Cannot write "<path>": <the system's reason>." and the old file is kept.
bool WriteFileAtomically(const std::string& path, const std::string& bytes, std::string& error,
                         const ReplaceGate& gate = {});

// Whether a FileReplacement could replace `path` now: its folder exists,
// is a folder and may be written, and the file there, if any, is not a
// folder and may be written. Asked before long work whose end writes it;
// the replacement itself still decides. The error reads as Create's.
bool CanReplace(const std::string& path, std::string& error);
