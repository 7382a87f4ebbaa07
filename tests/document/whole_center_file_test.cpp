// The "x" / "y" rows of a deep Mandelbrot or Julia view: written with all
// their digits, in their own place, and read back whole; the binary form
// keeps the double.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "document/DocumentFiles.h"
#include "model/FractalFactory.h"
#include "model/mandelbrot/MandelbrotSet.h"
#include "rows/PropertyStream.h"

namespace {

std::string Text(CMandelbrotSet& m)
{
    std::ostringstream out(std::ios::binary);
    WriteDocumentFile(out, kTypeMandelbrot, m);
    return out.str();
}

const CMandelbrotSet& Read(const std::string& text, LoadedDocument& doc)
{
    std::istringstream in(text);
    doc = ReadDocumentFile(in);
    EXPECT_TRUE(doc.fractal);
    EXPECT_FALSE(doc.truncated);
    return static_cast<const CMandelbrotSet&>(*doc.fractal);
}

} // namespace

TEST(WholeCenterFile, AViewAt1e40KeepsEveryDigit)
{
    for (const int type : {0, 1}) {
        CMandelbrotSet m;
        m.m_type = m.m_builtType = type;
        m.m_centerX = -0.75;
        m.m_centerXDigits = "-0.75000000000000000000000000000000000000001";
        m.m_centerY = 0.1;
        m.m_centerYDigits = "0.10000000000000000000000000000000000000002";
        m.m_halfSize = 1e-40;
        const std::string text = Text(m);
        // Same rows in the same order, the digits plain in "x" and "y".
        EXPECT_NE(text.find("\r\nx=-0.75000000000000000000000000000000000000001\r\n"
                            "y=0.10000000000000000000000000000000000000002\r\nradius=1e-40\r\n"),
                  std::string::npos)
            << text;
        LoadedDocument doc;
        const CMandelbrotSet& back = Read(text, doc);
        EXPECT_EQ(back.m_centerXDigits, m.m_centerXDigits);
        EXPECT_EQ(back.m_centerYDigits, m.m_centerYDigits);
        EXPECT_EQ(back.m_centerX, -0.75);
        EXPECT_EQ(back.m_centerY, 0.1);
        EXPECT_EQ(back.m_type, type);
        EXPECT_EQ(Text(const_cast<CMandelbrotSet&>(back)), text);
    }
}

TEST(WholeCenterFile, ACenterAt1e300NeedsLongerLinesThanOtherRows)
{
    CMandelbrotSet m;
    m.m_halfSize = 1e-300;
    const std::string x = "-1." + std::string(301, '0') + "7", y = "0." + std::string(303, '3');
    m.m_centerX = -1;
    m.m_centerXDigits = x;
    m.m_centerY = 1.0 / 3;
    m.m_centerYDigits = y;
    const std::string text = Text(m);
    ASSERT_GT(x.size() + 2, PropertyStream::kMaxLine);
    LoadedDocument doc;
    const CMandelbrotSet& back = Read(text, doc);
    EXPECT_EQ(back.m_centerXDigits, x);
    EXPECT_EQ(back.m_centerYDigits, y);
    EXPECT_EQ(back.m_halfSize, 1e-300);
    // The name is still cut where every line is.
    m.m_name = std::string(400, 'n');
    LoadedDocument named;
    EXPECT_EQ(Read(Text(m), named).m_name.size(), PropertyStream::kMaxLine - 5);
}

TEST(WholeCenterFile, ShallowCentersAndStaleDigitsWriteTheDouble)
{
    CMandelbrotSet m;
    const std::string plain = Text(m);
    EXPECT_NE(plain.find("\r\nx=-0.5\r\ny=0\r\n"), std::string::npos);
    // Digits that no longer round to the double were left by a change to
    // the double alone: the file has the double.
    m.m_centerX = 0.25;
    m.m_centerXDigits = "-0.75000000000000000000000000000000000000001";
    EXPECT_NE(Text(m).find("\r\nx=0.25\r\n"), std::string::npos);
    // A hand-edited file with a short value reads no digits.
    LoadedDocument doc;
    EXPECT_EQ(Read(plain, doc).m_centerXDigits, "");
}

TEST(WholeCenterFile, TheBinaryFormKeepsTheDouble)
{
    CMandelbrotSet m;
    m.m_centerX = -0.75;
    m.m_centerXDigits = "-0.75000000000000000000000000000000000000001";
    std::ostringstream bytes(std::ios::binary);
    PropertyStream out(bytes, true);
    m.FillProperties(out);
    CMandelbrotSet back;
    back.m_centerXDigits = "stale";
    std::istringstream read(bytes.str(), std::ios::binary);
    PropertyStream in(read, true);
    back.FillProperties(in);
    EXPECT_EQ(back.m_centerX, -0.75);
    EXPECT_EQ(back.m_centerXDigits, "");
}

// A file's centre one unit past a double's short text, with or without
// trailing zeros: saved, it keeps the digits (the zeros dropped), and
// saved again it is the same text.
TEST(WholeCenterFile, DigitsNextToAShortTextSurviveTwoSaves)
{
    CMandelbrotSet m;
    m.m_centerX = 0;
    m.m_halfSize = 1e-30;
    const std::string plain = Text(m);
    const size_t at = plain.find("\r\ny=0\r\n");
    ASSERT_NE(at, std::string::npos);
    const std::string digits = "0.1300000000000000000000001";
    for (const std::string& typed : {digits, digits + "0", digits + "000000"}) {
        const std::string text = plain.substr(0, at) + "\r\ny=" + typed + plain.substr(at + 5);
        LoadedDocument doc, again;
        CMandelbrotSet& read = const_cast<CMandelbrotSet&>(Read(text, doc));
        EXPECT_EQ(read.m_centerY, 0.13);
        const std::string first = Text(read);
        EXPECT_NE(first.find("\r\ny=" + digits + "\r\nradius=1e-30\r\n"), std::string::npos) << first;
        EXPECT_EQ(Text(const_cast<CMandelbrotSet&>(Read(first, again))), first);
    }
}
