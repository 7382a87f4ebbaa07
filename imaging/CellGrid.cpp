#include "imaging/CellGrid.h"

#include "imaging/ColorMap.h"

#include <cstdint>
#include <cstdlib>
#include <new>
#include <utility>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace {

constexpr size_t kHugePage = size_t(2) << 20;

// Under AddressSanitizer the cells come from calloc, so that the tool's
// guard zones around the block catch a builder writing past its grid.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMapLargeGrids = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kMapLargeGrids = false;
#else
constexpr bool kMapLargeGrids = true;
#endif
#else
constexpr bool kMapLargeGrids = true;
#endif

} // namespace

CellGrid::CellGrid(CellGrid&& other) noexcept
    : m_cells(std::exchange(other.m_cells, nullptr)), m_count(std::exchange(other.m_count, 0)),
      m_block(std::exchange(other.m_block, nullptr)), m_blockBytes(std::exchange(other.m_blockBytes, 0))
{}

CellGrid& CellGrid::operator=(CellGrid&& other) noexcept
{
    if (this != &other) {
        Release();
        m_cells = std::exchange(other.m_cells, nullptr);
        m_count = std::exchange(other.m_count, 0);
        m_block = std::exchange(other.m_block, nullptr);
        m_blockBytes = std::exchange(other.m_blockBytes, 0);
    }
    return *this;
}

size_t CellGrid::max_size() noexcept { return (SIZE_MAX - kHugePage) / sizeof(PixelRecord); }

void CellGrid::Allocate(size_t count)
{
    Release();
    if (count == 0)
        return;
    if (count > max_size())
        throw std::bad_alloc();
    const size_t bytes = count * sizeof(PixelRecord);
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (kMapLargeGrids && bytes >= kHugePage) {
        // One huge page more than needed, so that the cells can start on a
        // huge-page boundary and every 2 MB of them fits one page.
        const size_t mapped = bytes + kHugePage;
        void* block = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (block == MAP_FAILED)
            throw std::bad_alloc();
        const uintptr_t start = (uintptr_t(block) + kHugePage - 1) & ~uintptr_t(kHugePage - 1);
        // Only advice: without huge pages the cells are still zero.
        ::madvise(reinterpret_cast<void*>(start), bytes, MADV_HUGEPAGE);
        m_block = block;
        m_blockBytes = mapped;
        m_cells = reinterpret_cast<PixelRecord*>(start);
        m_count = count;
        return;
    }
#endif
    void* block = std::calloc(count, sizeof(PixelRecord));
    if (!block)
        throw std::bad_alloc();
    m_block = block;
    m_blockBytes = 0;
    m_cells = static_cast<PixelRecord*>(block);
    m_count = count;
}

void CellGrid::Release() noexcept
{
#if defined(__linux__)
    if (m_blockBytes != 0)
        ::munmap(m_block, m_blockBytes);
    else
        std::free(m_block);
#else
    std::free(m_block);
#endif
    m_block = nullptr;
    m_blockBytes = 0;
    m_cells = nullptr;
    m_count = 0;
}
