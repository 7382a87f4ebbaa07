#include "document/FileReplacement.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <random>
#include <system_error>

namespace fs = std::filesystem;

namespace {

std::string Reason(int code) { return std::generic_category().message(code); }

// Closes a descriptor; EINTR still closes it on this system.
int CloseFd(int fd) { return ::close(fd) == 0 || errno == EINTR ? 0 : errno; }

} // namespace

FileReplacement::FileReplacement(std::string path) : m_path(std::move(path)), m_target(m_path) {}

FileReplacement::~FileReplacement() { Discard(); }

bool FileReplacement::Fail(std::string& error, int code)
{
    Discard();
    error = "Cannot write \"" + m_path + "\": " + Reason(code) + ".";
    return false;
}

bool FileReplacement::Create(std::string& error)
{
    Discard();
    std::error_code ec;
    m_target = m_path;
    if (fs::is_symlink(fs::symlink_status(m_path, ec))) {
        const fs::path resolved = fs::canonical(m_path, ec);
        if (!ec)
            m_target = resolved.string();
    }
    struct stat old {};
    const bool exists = ::stat(m_target.c_str(), &old) == 0;
    if (exists && S_ISDIR(old.st_mode))
        return Fail(error, EISDIR);
    // Replacing a file is done through its folder; a file the user may not
    // write is not replaced behind their back.
    if (exists && ::access(m_target.c_str(), W_OK) != 0)
        return Fail(error, errno);

    std::mt19937 pick(std::random_device{}());
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::uniform_int_distribution<size_t> letter(0, sizeof kLetters - 2);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = m_target + ".";
        for (int i = 0; i < 6; ++i)
            name += kLetters[letter(pick)];
        // 0666 less the umask, as for any new file.
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST || errno == EINTR)
                continue;
            return Fail(error, errno);
        }
        m_fd = fd;
        m_temp = std::move(name);
        if (exists && ::fchmod(fd, old.st_mode & 07777) != 0)
            return Fail(error, errno);
        return true;
    }
    return Fail(error, EEXIST);
}

namespace {

// Writes all of [at, at + size) by `put(at, size, offset)`, a write or
// pwrite, again where a signal cut it short: 0 or the errno of the failure.
template <class Put>
int PutAll(const char* at, size_t size, uint64_t offset, Put put)
{
    while (size > 0) {
        const ssize_t n = put(at, size, offset);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return EIO;
        at += n;
        size -= size_t(n);
        offset += uint64_t(n);
    }
    return 0;
}

} // namespace

bool FileReplacement::Write(const void* data, size_t size, std::string& error)
{
    if (m_fd < 0)
        return Fail(error, EBADF);
    const int fd = m_fd;
    const int failure = PutAll(static_cast<const char*>(data), size, 0,
                               [fd](const char* at, size_t n, uint64_t) { return ::write(fd, at, n); });
    return failure ? Fail(error, failure) : true;
}

bool FileReplacement::WriteAt(uint64_t offset, const void* data, size_t size, std::string& error)
{
    if (m_fd < 0)
        return Fail(error, EBADF);
    const int fd = m_fd;
    const int failure = PutAll(static_cast<const char*>(data), size, offset, [fd](const char* at, size_t n, uint64_t o) {
        return ::pwrite(fd, at, n, off_t(o));
    });
    return failure ? Fail(error, failure) : true;
}

bool FileReplacement::Commit(std::string& error, const ReplaceGate& gate)
{
    if (m_fd < 0)
        return Fail(error, EBADF);
    // A full disk may show only here, when the system writes the pages out.
    // EINVAL: a file system that has nothing to flush.
    if (::fsync(m_fd) != 0 && errno != EINVAL)
        return Fail(error, errno);
    const int closed = CloseFd(m_fd);
    m_fd = -1;
    if (closed != 0)
        return Fail(error, closed);
    int renamed = 0;
    auto replace = [&] { renamed = ::rename(m_temp.c_str(), m_target.c_str()) == 0 ? 0 : errno; };
    if (!gate) {
        replace();
    } else if (!gate(replace)) {
        Discard();
        error = "Cannot write \"" + m_path + "\": stopped before the file was in place.";
        return false;
    }
    if (renamed != 0)
        return Fail(error, renamed);
    m_temp.clear();
    // The new name reaches the disk with the folder; failing that the
    // file is already in place, so it is not reported.
    fs::path folder = fs::path(m_target).parent_path();
    if (folder.empty())
        folder = ".";
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        CloseFd(dir);
    }
    return true;
}

void FileReplacement::Discard()
{
    if (m_fd >= 0) {
        CloseFd(m_fd);
        m_fd = -1;
    }
    if (!m_temp.empty()) {
        ::unlink(m_temp.c_str());
        m_temp.clear();
    }
}

bool WriteFileAtomically(const std::string& path, const std::string& bytes, std::string& error, const ReplaceGate& gate)
{
    FileReplacement file(path);
    return file.Create(error) && file.Write(bytes.data(), bytes.size(), error) && file.Commit(error, gate);
}

bool CanReplace(const std::string& path, std::string& error)
{
    auto fail = [&](const std::string& why) {
        error = "Cannot write \"" + path + "\": " + why + ".";
        return false;
    };
    std::error_code ec;
    std::string target = path;
    if (fs::is_symlink(fs::symlink_status(path, ec))) {
        const fs::path resolved = fs::canonical(path, ec);
        if (!ec)
            target = resolved.string();
    }
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return fail(Reason(EISDIR));
        if (::access(target.c_str(), W_OK) != 0)
            return fail(Reason(errno));
    }
    fs::path folder = fs::path(target).parent_path();
    if (folder.empty())
        folder = ".";
    const std::string quoted = std::string(1, '"').append(folder.string()).append(1, '"');
    if (::stat(folder.c_str(), &st) != 0)
        return fail(errno == ENOENT ? "the folder " + quoted + " does not exist" : Reason(errno));
    if (!S_ISDIR(st.st_mode))
        return fail(quoted + " is not a folder");
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        return fail(Reason(errno));
    return true;
}
