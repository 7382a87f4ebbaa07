// A test of one instruction set's variant against the scalar loop. On a
// processor that lacks the set, the test reports itself skipped under the
// set's name, so a run without AVX-512 says so instead of passing unseen.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <ostream>
#include <string>

#include "model/kernels/MandelbrotKernel.h"

// Test lists name the set, not its bytes.
inline void PrintTo(KernelIsa isa, std::ostream* os) { *os << KernelIsaName(isa); }

class OneIsa : public testing::TestWithParam<KernelIsa> {
protected:
    void SetUp() override
    {
        if (!KernelIsaSupported(GetParam()))
            GTEST_SKIP() << KernelIsaName(GetParam()) << " is not on this processor";
    }
    KernelIsa Isa() const { return GetParam(); }
};

// Test names take letters, digits and underscores only.
inline std::string IsaTestName(const testing::TestParamInfo<KernelIsa>& info)
{
    std::string name;
    for (const char* p = KernelIsaName(info.param); *p; ++p)
        if (std::isalnum(static_cast<unsigned char>(*p)))
            name += *p;
    return name;
}

#define INSTANTIATE_ISA_TESTS(Suite, ...)                                                                              \
    INSTANTIATE_TEST_SUITE_P(Isa, Suite, testing::Values(__VA_ARGS__), IsaTestName)
