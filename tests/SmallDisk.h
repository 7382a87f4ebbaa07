#pragma once
// A folder with no room left, for testing what a save does on a full disk.
//
// Where the process may mount file systems, the calling thread moves into a
// mount namespace of its own (nothing outside the test sees it; programs it
// starts inherit it) and a small tmpfs is mounted on the folder, which Fill
// then fills up: writes fail with ENOSPC, as on a real full disk. Elsewhere
// Fill limits the size of any file the process writes to a few bytes, with
// SIGXFSZ ignored, so writes fail with EFBIG instead; programs started
// afterwards inherit both.
//
// Usage: construct on an empty folder, write the old files, Fill, save.

#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

class SmallDisk {
public:
    explicit SmallDisk(const std::filesystem::path& dir) : m_dir(dir)
    {
        m_mounted = ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                    ::mount("quillion-small-disk", dir.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=1m") == 0;
    }
    ~SmallDisk()
    {
        Free();
        if (m_mounted)
            ::umount2(m_dir.c_str(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool Mounted() const { return m_mounted; }
    // What a write that finds no room reports.
    std::string Reason() const { return std::strerror(m_mounted ? ENOSPC : EFBIG); }
    // The file that takes the room, when mounted: not one the test wrote.
    std::filesystem::path Filler() const { return m_dir / "filler"; }

    void Fill()
    {
        if (m_full)
            return;
        m_full = true;
        if (m_mounted) {
            std::FILE* f = std::fopen(Filler().c_str(), "wb");
            if (!f)
                return;
            std::setvbuf(f, nullptr, _IONBF, 0);
            const std::vector<char> page(4096, 'f');
            while (std::fwrite(page.data(), 1, page.size(), f) == page.size()) {}
            while (std::fwrite(page.data(), 1, 1, f) == 1) {}
            std::fclose(f);
            return;
        }
        ::getrlimit(RLIMIT_FSIZE, &m_oldLimit);
        struct rlimit tiny = m_oldLimit;
        tiny.rlim_cur = 16;
        ::setrlimit(RLIMIT_FSIZE, &tiny);
        m_oldSignal = std::signal(SIGXFSZ, SIG_IGN);
    }

    void Free()
    {
        if (!m_full)
            return;
        m_full = false;
        if (m_mounted) {
            std::error_code ec;
            std::filesystem::remove(Filler(), ec);
            return;
        }
        ::setrlimit(RLIMIT_FSIZE, &m_oldLimit);
        std::signal(SIGXFSZ, m_oldSignal);
    }

private:
    std::filesystem::path m_dir;
    bool m_mounted = false;
    bool m_full = false;
    struct rlimit m_oldLimit {};
    void (*m_oldSignal)(int) = SIG_DFL;
};
