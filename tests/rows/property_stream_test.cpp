#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>

#include "rows/PropertyStream.h"

namespace {

const char* const kTwo[2] = {"first", "second"};

// A small row structure of every stored kind.
struct Values {
    std::string name = "abc";
    uint32_t choice = 1;
    int32_t count = -3;
    bool flag = true;
    double x = 0.1234567;
    float f = 1.5f;
    double shown = 9;

    int Fill(PropertyList& list)
    {
        list.BeginGroup("Main");
        list.AddRow("Name", &name, kRowString);
        list.AddRow("choice", &choice, 2, kTwo);
        list.AddRow("count", &count, kRowInteger);
        list.AddRow("flag", &flag, kRowBoolean, kTwo);
        list.AddRow("x", &x, kRowDouble);
        list.AddRow("f", &f, kRowFloat);
        list.AddRow("shown", &shown, kRowReadOnlyDouble);
        list.EndGroup();
        return list.m_level;
    }
};

std::string WriteText(Values& v)
{
    std::ostringstream out(std::ios::binary);
    PropertyStream s(out, false);
    v.Fill(s);
    return out.str();
}

TEST(PropertyStreamText, WritesLabelledLinesWithCrLf)
{
    Values v;
    EXPECT_EQ(WriteText(v), "[Main]\r\nName=abc\r\nchoice=second\r\ncount=-3\r\nflag=first\r\n"
                            "x=0.1234567\r\nf=\r\nshown=9\r\n");
}

TEST(PropertyStreamText, ReadsBackByPositionExactly)
{
    Values a;
    a.name = "my set";
    a.choice = 0;
    a.count = 17;
    a.flag = false;
    a.x = 0.1234567891234567;
    const std::string text = WriteText(a);
    Values b;
    b.name = "other";
    b.choice = 1;
    std::istringstream in(text);
    PropertyStream s(in, false);
    b.Fill(s);
    EXPECT_FALSE(s.Exhausted());
    EXPECT_EQ(b.name, "my set");
    EXPECT_EQ(b.choice, 0u);
    EXPECT_EQ(b.count, 17);
    EXPECT_FALSE(b.flag);
    EXPECT_EQ(b.x, 0.1234567891234567);
}

TEST(PropertyStreamText, AcceptsBareLineFeedsAndIgnoresLabels)
{
    Values b;
    std::istringstream in("whatever\nN=zz\nc=first\nn=5\nf=second\nq=2.5\nr=\ns=1\n");
    PropertyStream s(in, false);
    b.Fill(s);
    EXPECT_EQ(b.name, "zz");
    EXPECT_EQ(b.choice, 0u);
    EXPECT_EQ(b.count, 5);
    EXPECT_FALSE(b.flag);
    EXPECT_EQ(b.x, 2.5);
    EXPECT_EQ(b.shown, 9.0); // read-only rows ignore their line
}

TEST(PropertyStreamText, ValueIsTextAfterFirstEquals)
{
    Values b;
    std::istringstream in("[Main]\nName=a=b\nchoice\ncount\n");
    PropertyStream s(in, false);
    b.Fill(s);
    EXPECT_EQ(b.name, "a=b");
    EXPECT_EQ(b.choice, 0u); // no "=": the empty text, which matches no name
    EXPECT_EQ(b.count, -3);  // an integer keeps its value
}

TEST(PropertyStreamText, LongLineIsCutAndDoesNotSpillIntoTheNextRow)
{
    Values b;
    std::string longName(1000, 'n');
    std::string text = "[Main]\r\nName=" + longName + "\r\nchoice=first\r\ncount=12\r\n";
    std::istringstream in(text);
    PropertyStream s(in, false);
    b.Fill(s);
    EXPECT_EQ(b.name.size(), PropertyStream::kMaxLine - 5); // "Name=" took five
    EXPECT_EQ(b.choice, 0u);
    EXPECT_EQ(b.count, 12);
}

TEST(PropertyStreamText, TextUnderAShorterLabelIsCutToWhatItsOwnLineHolds)
{
    Values b;
    std::istringstream in("[Main]\r\nN=" + std::string(1000, 'n') + "\r\nchoice=first\r\n");
    PropertyStream s(in, false);
    b.Fill(s);
    EXPECT_EQ(b.name, std::string(PropertyStream::kMaxLine - 5, 'n')); // "Name=" takes five
    EXPECT_EQ(b.choice, 0u);
    // Saved, its line is exactly as long as a line may be, so it comes back whole.
    const std::string text = WriteText(b);
    EXPECT_NE(text.find("\r\nName=" + b.name + "\r\n"), std::string::npos);
    Values c;
    std::istringstream again(text);
    PropertyStream s2(again, false);
    c.Fill(s2);
    EXPECT_EQ(c.name, b.name);
}

TEST(PropertyStreamText, LineOfExactly299CharactersIsKept)
{
    std::string line(299, 'a');
    std::istringstream in(line + "\r\nnext\n");
    std::string got;
    ASSERT_TRUE(PropertyStream::ReadLine(in, got));
    EXPECT_EQ(got, line);
    ASSERT_TRUE(PropertyStream::ReadLine(in, got));
    EXPECT_EQ(got, "next");
    EXPECT_FALSE(PropertyStream::ReadLine(in, got));
}

TEST(PropertyStreamText, TruncatedFileLeavesTheRestAtDefaults)
{
    Values b;
    std::istringstream in("[Main]\r\nName=short\r\nchoice=first\r\ncou");
    PropertyStream s(in, false);
    b.Fill(s);
    EXPECT_TRUE(s.Exhausted());
    EXPECT_EQ(b.name, "short");
    EXPECT_EQ(b.choice, 0u);
    EXPECT_EQ(b.count, -3); // "cou" has no "="
    EXPECT_TRUE(b.flag);    // never reached: default kept
    EXPECT_EQ(b.x, 0.1234567);
}

TEST(PropertyStreamText, BinaryGarbageDoesNotCrash)
{
    std::string junk;
    for (int i = 0; i < 4096; ++i)
        junk.push_back(char((i * 131 + 7) & 0xff));
    Values b;
    std::istringstream in(junk);
    PropertyStream s(in, false);
    b.Fill(s);
    EXPECT_LE(b.name.size(), PropertyStream::kMaxLine);
}

TEST(PropertyStreamBinary, RawValuesWithoutStringsOrHeaders)
{
    Values a;
    a.choice = 1;
    a.count = 0x01020304;
    a.flag = true;
    a.x = 2.0;
    a.f = 0.5f;
    std::ostringstream out(std::ios::binary);
    PropertyStream w(out, true);
    a.Fill(w);
    const std::string bytes = out.str();
    // enum 4 + int 4 + bool 1 + double 8 + float 4; strings, headers and
    // read-only rows contribute nothing.
    ASSERT_EQ(bytes.size(), 21u);
    EXPECT_EQ(std::memcmp(bytes.data(), "\x01\x00\x00\x00\x04\x03\x02\x01\x01", 9), 0);
    double x;
    std::memcpy(&x, bytes.data() + 9, 8);
    EXPECT_EQ(x, 2.0);

    Values b;
    b.choice = 0;
    b.count = 0;
    b.flag = false;
    b.x = 0;
    b.f = 0;
    std::istringstream in(bytes);
    PropertyStream r(in, true);
    b.Fill(r);
    EXPECT_EQ(b.choice, 1u);
    EXPECT_EQ(b.count, 0x01020304);
    EXPECT_TRUE(b.flag);
    EXPECT_EQ(b.x, 2.0);
    EXPECT_EQ(b.f, 0.5f);
    EXPECT_EQ(b.name, "abc");
}

TEST(PropertyStreamBinary, ShortInputStopsFillingAndIsReported)
{
    std::istringstream in(std::string("\x01\x00\x00\x00\x07", 5));
    Values b;
    PropertyStream r(in, true);
    b.Fill(r);
    EXPECT_EQ(b.choice, 1u);
    EXPECT_EQ(b.count, -3);
    EXPECT_TRUE(r.Exhausted());
}

TEST(PropertyStreamBinary, AnyByteReadsAsAValidBoolean)
{
    bool flag = false;
    std::istringstream in(std::string("\x02", 1));
    PropertyStream r(in, true);
    r.AddRow("flag", &flag, kRowBoolean, kTwo);
    EXPECT_TRUE(flag);
}

// The settled rows, then rows added later: optional, a long text among them.
struct Grown {
    Values settled;
    uint32_t mode = 0;
    double scale = 1;
    std::string notes;
    bool modeFound = false, scaleFound = false;

    void Fill(PropertyList& list)
    {
        settled.Fill(list);
        list.BeginShownGroup("Later");
        list.AddOptionalRow("mode", &mode, 2, "first", &modeFound, kTwo);
        list.AddOptionalRow("scale", &scale, kRowDouble, "1", &scaleFound);
        list.AddOptionalRow("notes", &notes, kRowString, "");
        list.EndGroup();
    }
};

std::string Written(Grown& g)
{
    std::ostringstream out(std::ios::binary);
    PropertyStream s(out, false);
    g.Fill(s);
    return out.str();
}

Grown ReadBack(const std::string& text)
{
    Grown g;
    std::istringstream in(text);
    PropertyStream s(in, false);
    g.Fill(s);
    return g;
}

TEST(PropertyStreamOptional, EachSubsetOfTheRowsReadsBackWhateverIsLeftOut)
{
    // Every one of the eight choices of which optional rows differ from
    // their defaults: each file holds just those, and each reads back whole.
    for (int mask = 0; mask < 8; ++mask) {
        Grown g;
        if (mask & 1)
            g.mode = 1;
        if (mask & 2)
            g.scale = 2.5;
        if (mask & 4)
            g.notes = "x=y";
        const std::string text = Written(g);
        Values plain;
        EXPECT_EQ(text.substr(0, WriteText(plain).size()), WriteText(plain)) << mask;
        EXPECT_EQ(text.find("Later"), std::string::npos) << "a shown group has no line";
        const Grown back = ReadBack(text);
        EXPECT_EQ(back.mode, g.mode) << mask;
        EXPECT_EQ(back.scale, g.scale) << mask;
        EXPECT_EQ(back.notes, g.notes) << mask;
        EXPECT_EQ(back.modeFound, bool(mask & 1)) << mask;
        EXPECT_EQ(back.scaleFound, bool(mask & 2)) << mask;
    }
}

TEST(PropertyStreamOptional, ARowMayAskForLongerLinesThanTheSettledRows)
{
    std::string value(20000, 'g');
    std::string held;
    std::string name;
    auto fill = [&](PropertyList& list, size_t longest) {
        list.AddOptionalRow("name", &name, kRowString, "");
        static const TextCodec plain{[](const void* v) { return *static_cast<const std::string*>(v); },
                                     [](void* v, std::string_view t) {
                                         *static_cast<std::string*>(v) = std::string(t);
                                         return ParseResult{};
                                     }};
        list.AddOptionalTextRow("long", &held, &plain, "", longest);
    };
    // A long line after an optional row that is not there: it is put back
    // whole for the long row, and a plain row still cuts at its limit.
    const std::string text = "long=" + value + "\r\n";
    for (size_t longest : {size_t(0), size_t(30000), PropertyStream::kMaxLongLine * 2}) {
        held.clear();
        std::istringstream in(text);
        PropertyStream s(in, false);
        fill(s, longest);
        EXPECT_TRUE(name.empty());
        EXPECT_EQ(held.size(), longest == 0 ? PropertyStream::kMaxLine - 5 : value.size()) << longest;
    }
    // Past the longest line any row may have, the rest is consumed and cut.
    std::istringstream in("long=" + std::string(PropertyStream::kMaxLongLine * 2, 'h') + "\r\nname=n\r\n");
    PropertyStream s(in, false);
    fill(s, PropertyStream::kMaxLongLine);
    EXPECT_EQ(held.size(), PropertyStream::kMaxLongLine - 5);
}

TEST(PropertyStreamOptional, BinaryFormHoldsNoOptionalRow)
{
    Grown g;
    g.mode = 1;
    g.scale = 3;
    std::ostringstream out(std::ios::binary), plain(std::ios::binary);
    PropertyStream s(out, true);
    g.Fill(s);
    PropertyStream p(plain, true);
    g.settled.Fill(p);
    EXPECT_EQ(out.str(), plain.str());
}

} // namespace
