#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "document/DataFile.h"
#include "document/DocumentFiles.h"
#include "imaging/Canvas.h"
#include "model/FractalFactory.h"
#include "rows/PropertyStream.h"

namespace {

struct Target : CCanvas {
    Target(unsigned w, unsigned h)
    {
        m_targetWidth = w;
        m_targetHeight = h;
    }
};

// The picture a fresh build of `f` paints at that size.
std::vector<uint8_t> Picture(CFractal& f, unsigned w, unsigned h)
{
    Target c(w, h);
    f.m_restart = true;
    f.Build(c);
    f.Draw(c);
    return c.m_bits;
}

std::string Rows(CFractal& f)
{
    std::ostringstream out;
    WriteDocumentFile(out, -1, f);
    return out.str();
}

// Computed data of a built plane set, as a file to open into each kind.
std::string SomeComputedData()
{
    auto f = CreateFractalOfType(kTypeSelfAffine);
    Picture(*f, 8, 6);
    std::ostringstream out;
    WriteDataFile(out, *f);
    return out.str();
}

} // namespace

// Every kind is found by its type code and its name, makes a fractal that
// reports it, and can do what its row says and nothing it does not: each
// ability is checked against what the fractal does, not against the row.
TEST(FractalKinds, EachRowIsWhatItsFractalDoes)
{
    const auto kinds = FractalKinds();
    ASSERT_EQ(kinds.size(), 4u);
    const std::string data = SomeComputedData();
    ASSERT_GT(data.size(), 8u);
    std::set<int> codes;
    for (size_t i = 0; i < kinds.size(); ++i) {
        const FractalKind& kind = *kinds[i];
        SCOPED_TRACE(kind.name);
        EXPECT_EQ(kind.type, int(i));
        EXPECT_EQ(&KindOfType(kind.type), &kind);
        EXPECT_EQ(KindNamed(kind.name), &kind);
        EXPECT_STREQ(KindTypeNames()[i], kind.name);
        EXPECT_NE(kind.code, CFractal::kBase);
        EXPECT_TRUE(codes.insert(kind.code).second);

        auto f = kind.make();
        ASSERT_TRUE(f);
        EXPECT_EQ(f->m_kind, kind.code);
        EXPECT_EQ(&KindOf(*f), &kind);
        // Its document file names it, and reads back as the same kind.
        std::istringstream file(Rows(*f));
        const LoadedDocument doc = ReadDocumentFile(file);
        ASSERT_TRUE(doc.fractal);
        EXPECT_EQ(doc.fractalType, kind.type);
        EXPECT_EQ(doc.fractal->m_kind, kind.code);

        // Zoom and pan: the picture follows the centre and the half-size.
        const std::vector<uint8_t> before = Picture(*f, 48, 36);
        f->m_centerX += f->m_halfSize / 4;
        f->m_halfSize /= 2;
        EXPECT_EQ(Picture(*f, 48, 36) != before, kind.can.zoomAndPan);

        // Clicks: a right click amid the picture edits the rows.
        auto g = kind.make();
        Picture(*g, 64, 64);
        const std::string unclicked = Rows(*g);
        g->Click(32, 32, ClickButton::kRight);
        Picture(*g, 64, 64);
        EXPECT_EQ(Rows(*g) != unclicked, kind.can.clicks);
        // Escape counts: the build leaves its escape radius in the map.
        EXPECT_EQ(g->m_colorMap.m_escapeRadius > 0, kind.can.escapeCounts) << kind.name;

        // Deep views: digits past the double that still round to it are
        // kept in the rows.
        auto h = kind.make();
        h->m_centerX = 0.1;
        h->m_centerXDigits = "0.1000000000000000000000000000001";
        EXPECT_EQ(Rows(*h).find(h->m_centerXDigits) != std::string::npos, kind.can.deepViews);

        // Animation: turning changes a row.
        const std::string unturned = Rows(*h);
        const bool turned = h->TurnBy(18);
        EXPECT_EQ(turned, bool(kind.can.animations & kAnimateTurn));
        EXPECT_EQ(Rows(*h) != unturned, turned);

        // The tile chart shows determinants and traces.
        const std::string rows = Rows(*h);
        EXPECT_EQ(rows.find("\nDeterminant=") != std::string::npos && rows.find("\nTrack=") != std::string::npos,
                  kind.can.tileChart);

        // Computed data opens into the kinds that have it.
        std::istringstream in(data);
        auto k = kind.make();
        Target canvas(8, 6);
        std::string error;
        EXPECT_EQ(ReadDataFile(in, *k, canvas, {}, error), kind.can.computedData) << error;
    }
    // Continue goes on from the cells of a build for some fractal of each
    // kind that says so (a solid sample), and for none of the others.
    std::set<int> continued;
    for (int n = 0; n <= 12; ++n) {
        auto f = CreateSample(n);
        Target c(12, 9);
        f->m_restart = true;
        f->Build(c);
        if (f->ContinuesCells())
            continued.insert(f->m_kind);
    }
    for (const FractalKind* kind : kinds) {
        auto f = kind->make();
        Target c(12, 9);
        f->m_restart = true;
        f->Build(c);
        if (f->ContinuesCells())
            continued.insert(f->m_kind);
        EXPECT_EQ(continued.count(kind->code) == 1, kind->can.continues) << kind->name;
    }
    // A type code no kind has makes the last kind, as documents of type 4 do.
    EXPECT_EQ(KindOfType(4).type, kTypeAppolony);
    EXPECT_EQ(KindOfType(-1).type, kTypeAppolony);
    EXPECT_EQ(KindNamed("Mandelbrot"), nullptr);
    // A new document: the dialog's -1 and codes from 5 on open the
    // Mandelbrot set; 4 is kept, and makes the last kind.
    EXPECT_EQ(NewDocumentType(-1), kTypeMandelbrot);
    EXPECT_EQ(NewDocumentType(5), kTypeMandelbrot);
    EXPECT_EQ(NewDocumentType(4), 4);
    EXPECT_EQ(NewDocumentType(kTypeTile), kTypeTile);
}
