#include "model/deep/ReferenceOrbit.h"

#include "model/deep/HugePages.h"

#include <atomic>
#include <cmath>
#include <cstdint>
#include <functional>
#include <system_error>
#include <thread>

#include "imaging/Parallel.h"
#include "model/PassProgress.h"

namespace {

// From about this many bits (views past 1e-2400) a step's two squares and
// its product take microseconds each, more than handing the product to
// another core and back costs (about 2 microseconds here, measured); and an
// orbit this long repays the thread it starts.
constexpr mpfr_prec_t kSideBySideBits = 8192;
constexpr size_t kSideBySideSteps = 256;

// A thread that runs one job over and over beside the caller, each run
// asked for by Start and awaited by Wait. The hand-over is a pair of
// atomics that both sides spin on: a few hundred nanoseconds, where a task
// pool's takes microseconds, a good part of a step. It waits by spinning,
// so it lives only for a run of steps.
class SideThread {
public:
    explicit SideThread(std::function<void()> job)
        : m_job(std::move(job)), m_thread([this] { Loop(); })
    {}
    ~SideThread()
    {
        m_quit.store(true, std::memory_order_release);
        m_thread.join();
    }
    SideThread(const SideThread&) = delete;
    SideThread& operator=(const SideThread&) = delete;

    void Start() { m_started.store(++m_asked, std::memory_order_release); }
    void Wait()
    {
        Spin([&] { return m_finished.load(std::memory_order_acquire) == m_asked; });
    }

private:
    template <class Ready>
    static void Spin(const Ready& ready)
    {
        // Past a few hundred microseconds the other side is not coming soon
        // (the system took its core): give this one away meanwhile.
        for (unsigned n = 0; !ready(); ++n)
            if (n < (1u << 14))
                __builtin_ia32_pause();
            else
                std::this_thread::yield();
    }
    void Loop()
    {
        for (uint64_t done = 0;;) {
            Spin([&] {
                return m_started.load(std::memory_order_acquire) > done || m_quit.load(std::memory_order_acquire);
            });
            if (m_started.load(std::memory_order_acquire) == done)
                return; // asked to quit with nothing asked of it
            m_job();
            m_finished.store(++done, std::memory_order_release);
        }
    }

    std::function<void()> m_job;
    uint64_t m_asked = 0; // the caller's own
    std::atomic<uint64_t> m_started{0}, m_finished{0};
    std::atomic<bool> m_quit{false};
    std::thread m_thread;
};

FloatExp Wide(const MpfrReal& v)
{
    long e = 0;
    const double m = mpfr_get_d_2exp(&e, v.get(), MPFR_RNDN);
    return FloatExp::Normal(m, e);
}

FloatExp Modulus(const MpfrReal& re, const MpfrReal& im)
{
    const FloatExp r = Wide(re), i = Wide(im);
    return Sqrt(r * r + i * i);
}

// v with a wide exponent, given its nearest double: a normal double is
// already the rounded mantissa and exponent MPFR would give.
FloatExp Wide(const MpfrReal& v, double nearest) { return std::isnormal(nearest) ? FloatExp(nearest) : Wide(v); }

// Keeps w = (re, im) in the orbit's forms; returns |w|.
FloatExp Keep(const MpfrReal& re, const MpfrReal& im, bool wide, MpfrReal* rest, ReferenceOrbit& out)
{
    const double r = mpfr_get_d(re.get(), MPFR_RNDN), i = mpfr_get_d(im.get(), MPFR_RNDN);
    out.re.push_back(r);
    out.im.push_back(i);
    if (rest) {
        mpfr_sub_d(rest->get(), re.get(), r, MPFR_RNDN);
        out.reLow.push_back(mpfr_get_d(rest->get(), MPFR_RNDN));
        mpfr_sub_d(rest->get(), im.get(), i, MPFR_RNDN);
        out.imLow.push_back(mpfr_get_d(rest->get(), MPFR_RNDN));
    }
    const FloatExp wr = Wide(re, r), wi = Wide(im, i);
    if (wide) {
        out.reWide.push_back(wr);
        out.imWide.push_back(wi);
    }
    return Sqrt(wr * wr + wi * wi);
}

// A bound on |computed w_n - exact w_n|, carried in FloatExp as MPFR's
// roundings lie far below the doubles: E_(n+1) = (2 |w_n| + E_n) E_n plus
// the rounding of the constant and of the step's own operations, each
// within 2^-bits of the moduli it adds up (generously counted). A step
// whose every operation was exact adds none, so orbits of short binary
// numbers stay exact.
class RoundingBound {
public:
    RoundingBound(long bits, FloatExp start, FloatExp c, bool exact, double radius2)
        : m_unit(FloatExp::Normal(1, -bits)), m_bits(bits), m_c(c), m_radius(std::sqrt(radius2))
    {
        m_error = exact ? FloatExp(0.0) : m_unit * start;
        m_cError = exact ? FloatExp(0.0) : m_unit * c;
    }

    void Step(FloatExp w, bool exact)
    {
        if (m_hopeless)
            return;
        FloatExp e = (w + w + m_error) * m_error + m_cError;
        if (!exact)
            e = e + FloatExp(16.0) * m_unit * (w * w + m_c);
        m_error = e;
        // Far past any use: it would only square its exponent from here.
        if (FloatExp::Normal(1, 64) < m_error)
            m_hopeless = true;
    }

    // Value w is tested against the escape radius and enters the product.
    void Test(FloatExp w)
    {
        if (m_hopeless || !(FloatExp(0.0) < m_error))
            return;
        const FloatExp margin = std::isinf(m_radius) ? w + FloatExp(1.0) : Abs(w - FloatExp(m_radius));
        if (!(FloatExp(0.0) < margin) || !(FloatExp(0.0) < w)) {
            m_hopeless = true;
            return;
        }
        const FloatExp r = m_error / margin;
        if (m_worst < r)
            m_worst = r;
        m_sum = m_sum + m_error / w;
    }

    long BitsShort() const
    {
        if (m_hopeless)
            return m_bits;
        // Settled with 2^20 to spare, for the escape test and the colour.
        const FloatExp d = (m_worst < m_sum ? m_sum : m_worst) * FloatExp::Normal(1, 20);
        if (!(FloatExp(1.0) < d))
            return 0;
        return long(d.e) + 1;
    }

private:
    FloatExp m_unit;
    long m_bits;
    FloatExp m_c, m_error, m_cError, m_worst{0.0}, m_sum{0.0};
    double m_radius;
    bool m_hopeless = false;
};

} // namespace

struct ReferenceIteration::State {
    State(const MpfrReal& sRe, const MpfrReal& sIm, const MpfrReal& cr, const MpfrReal& ci, double r2, bool w,
          bool exact, size_t first, bool lowParts)
        : bits(mpfr_get_prec(sRe.get())), startRe(bits), startIm(bits), cRe(mpfr_get_prec(cr.get())),
          cIm(mpfr_get_prec(ci.get())), re(bits), im(bits), re2(bits), im2(bits), product(bits), rest(bits),
          bound(long(bits), Modulus(sRe, sIm), Modulus(cr, ci), exact, r2), radius2(r2), wide(w), exactInputs(exact),
          firstTested(first), low(lowParts)
    {
        mpfr_set(startRe.get(), sRe.get(), MPFR_RNDN);
        mpfr_set(startIm.get(), sIm.get(), MPFR_RNDN);
        mpfr_set(cRe.get(), cr.get(), MPFR_RNDN);
        mpfr_set(cIm.get(), ci.get(), MPFR_RNDN);
        mpfr_set(re.get(), sRe.get(), MPFR_RNDN);
        mpfr_set(im.get(), sIm.get(), MPFR_RNDN);
    }

    mpfr_prec_t bits;
    MpfrReal startRe, startIm, cRe, cIm, re, im, re2, im2, product, rest;
    RoundingBound bound;
    // |w| of the last value kept, which the next step's bound reads.
    FloatExp modulus{0.0};
    double radius2;
    bool wide, exactInputs;
    size_t firstTested;
    bool low, escaped = false;
};

ReferenceIteration::ReferenceIteration(const MpfrReal& startRe, const MpfrReal& startIm, const MpfrReal& cRe,
                                       const MpfrReal& cIm, double radius2, bool wide, bool exactInputs,
                                       size_t firstTested, bool low)
    : m_state(std::make_unique<State>(startRe, startIm, cRe, cIm, radius2, wide, exactInputs, firstTested, low))
{}

ReferenceIteration::~ReferenceIteration() = default;

bool ReferenceIteration::Escaped() const { return m_state->escaped; }

bool ReferenceIteration::Matches(const MpfrReal& startRe, const MpfrReal& startIm, const MpfrReal& cRe,
                                 const MpfrReal& cIm, double radius2, bool wide, bool exactInputs, size_t firstTested,
                                 bool low) const
{
    const State& s = *m_state;
    // Equal values at equal precisions: the precision of the start is the
    // arithmetic's, and that of the constant bounds its rounding.
    const auto same = [](const MpfrReal& a, const MpfrReal& b) {
        return mpfr_get_prec(a.get()) == mpfr_get_prec(b.get()) && mpfr_equal_p(a.get(), b.get()) != 0;
    };
    return same(startRe, s.startRe) && same(startIm, s.startIm) && same(cRe, s.cRe) && same(cIm, s.cIm) &&
           radius2 == s.radius2 && wide == s.wide && exactInputs == s.exactInputs && firstTested == s.firstTested &&
           low == s.low;
}

bool ReferenceIteration::Extend(size_t length, const std::atomic<bool>* stop, ReferenceOrbit& out,
                                PassProgress* progress)
{
    State& s = *m_state;
    // All at once: a length past the memory fails here, before any step.
    huge_pages::Reserve(out.re, length);
    huge_pages::Reserve(out.im, length);
    if (s.wide) {
        huge_pages::Reserve(out.reWide, length);
        huge_pages::Reserve(out.imWide, length);
    }
    if (s.low) {
        huge_pages::Reserve(out.reLow, length);
        huge_pages::Reserve(out.imLow, length);
    }
    // Long orbits at many bits take the product beside the squares, on
    // another core; the plain path keeps to this thread.
    int productInexact = 0;
    std::unique_ptr<SideThread> side;
    if (s.bits >= kSideBySideBits && length >= out.size() + kSideBySideSteps && !s.escaped && !PlainPath() &&
        std::thread::hardware_concurrency() > 1)
        try {
            side = std::make_unique<SideThread>(
                [&] { productInexact = mpfr_mul(s.product.get(), s.re.get(), s.im.get(), MPFR_RNDN); });
        } catch (const std::system_error&) {
            // No thread to be had (the process's limit): one does it all.
        }
    size_t counted = out.size();
    while (!s.escaped && out.size() < length) {
        const size_t n = out.size();
        if (n > 0) {
            // w <- w^2 + c: (re^2 - im^2 + cRe, 2 re im + cIm), in place.
            // MPFR rounds each operation correctly, so the product taken
            // on the side thread is the one taken here.
            if (side)
                side->Start();
            int inexact = mpfr_sqr(s.re2.get(), s.re.get(), MPFR_RNDN);
            inexact |= mpfr_sqr(s.im2.get(), s.im.get(), MPFR_RNDN);
            if (side) {
                side->Wait();
                mpfr_swap(s.im.get(), s.product.get());
                inexact |= productInexact;
            } else {
                inexact |= mpfr_mul(s.im.get(), s.re.get(), s.im.get(), MPFR_RNDN);
            }
            inexact |= mpfr_mul_2ui(s.im.get(), s.im.get(), 1, MPFR_RNDN);
            inexact |= mpfr_add(s.im.get(), s.im.get(), s.cIm.get(), MPFR_RNDN);
            inexact |= mpfr_sub(s.re.get(), s.re2.get(), s.im2.get(), MPFR_RNDN);
            inexact |= mpfr_add(s.re.get(), s.re.get(), s.cRe.get(), MPFR_RNDN);
            s.bound.Step(s.modulus, inexact == 0);
        }
        s.modulus = Keep(s.re, s.im, s.wide, s.low ? &s.rest : nullptr, out);
        if (n >= s.firstTested)
            s.bound.Test(s.modulus);
        const double r = out.re.back(), i = out.im.back();
        if (r * r + i * i > s.radius2) {
            s.escaped = true;
            break;
        }
        // The values made so far, told every few: one is a step's worth of
        // MPFR, microseconds at depth.
        if (progress && (n & 0x3F) == 0x3F) {
            progress->AddRows(int64_t(out.size() - counted));
            counted = out.size();
        }
        if ((n & 0xFFF) == 0xFFF && stop && stop->load(std::memory_order_relaxed)) {
            if (progress)
                progress->AddRows(int64_t(out.size() - counted));
            return false;
        }
    }
    if (progress)
        progress->AddRows(int64_t(out.size() - counted));
    out.bitsShort = s.bound.BitsShort();
    return true;
}

bool ComputeReferenceOrbit(const MpfrReal& startRe, const MpfrReal& startIm, const MpfrReal& cRe, const MpfrReal& cIm,
                           double radius2, size_t length, bool wide, const std::atomic<bool>* stop, ReferenceOrbit& out,
                           bool exactInputs, size_t firstTested, bool low)
{
    out = ReferenceOrbit();
    ReferenceIteration iteration(startRe, startIm, cRe, cIm, radius2, wide, exactInputs, firstTested, low);
    return iteration.Extend(length, stop, out);
}
