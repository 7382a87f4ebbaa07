// The document's worker (a build, or a job such as the animation writer)
// starts with the upper vector state clean although the GUI thread that
// starts it has it dirty: Qt's string hashing leaves it so.
#include <gtest/gtest.h>

#include <atomic>

#include "document/FractalDoc.h"
#include "imaging/VectorState.h"
#include "model/FractalFactory.h"
#include "rows/PropertyList.h"
#include "tests/app/WindowFixture.h"

namespace {

bool CanDirty() { return CanReadUpperVectorState() && __builtin_cpu_supports("avx"); }

void Dirty() { __asm__ volatile("vpcmpeqd %%ymm1, %%ymm1, %%ymm1" ::: "xmm1"); }

// Notes the state its Build starts in.
class ProbeFractal : public CFractal {
public:
    void Build(CCanvas&) override
    {
        m_dirty = UpperVectorStateDirty();
        m_built = true;
    }
    int FillProperties(PropertyList& list) override
    {
        list.AddRow("Name", &m_name, kRowString);
        return list.m_level;
    }
    std::atomic<bool> m_dirty{true}, m_built{false};
};

} // namespace

TEST(WorkerVectorState, BuildsAndJobsStartClean)
{
    if (!CanDirty())
        GTEST_SKIP() << "no XGETBV with ECX=1 or no AVX";
    Window w(kTypeMandelbrot, 64, 48);
    auto owned = std::make_unique<ProbeFractal>();
    ProbeFractal* probe = owned.get();
    w.doc->SetFractal(std::move(owned));

    Dirty();
    w.doc->OnBuild(kCmdRebuild);
    ASSERT_TRUE(WaitIdle(w.doc));
    ASSERT_TRUE(probe->m_built);
    EXPECT_FALSE(probe->m_dirty) << "the build thread";

    std::atomic<bool> jobDirty{true};
    Dirty();
    ASSERT_TRUE(w.doc->StartJob([&](std::stop_token) { jobDirty = UpperVectorStateDirty(); }));
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_FALSE(jobDirty) << "a job such as the animation writer";
}
