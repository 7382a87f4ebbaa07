// Saves onto a full disk: every writer says why it failed and leaves the
// old file as it was; with room again the same saves write whole files.
#include <gtest/gtest.h>

#include <QImage>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>

#include "document/CanvasImage.h"
#include "document/DataFile.h"
#include "document/DocumentFiles.h"
#include "document/FileReplacement.h"
#include "imaging/Canvas.h"
#include "model/FractalFactory.h"
#include "model/Samples.h"
#include "tests/SmallDisk.h"

namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const fs::path& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }

class SaveFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("quillion-save-" + std::to_string(std::random_device{}()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
};

struct Writer {
    const char* name;
    std::function<bool(const std::string&, std::string&)> save;
    std::function<void(const fs::path&)> check; // the file a successful save wrote
};

TEST_F(SaveFolder, OnAFullDiskEveryWriterKeepsTheOldFileAndSaysWhy)
{
    std::unique_ptr<CFractal> set = MakeSample(4); // three-dimensional
    CCanvas grid;
    grid.m_targetWidth = 24;
    grid.m_targetHeight = 16;
    set->Build(grid);
    CCanvas image;
    image.Resize(37, 11, 24);
    for (size_t i = 0; i < image.m_bits.size(); ++i)
        image.m_bits[i] = uint8_t(i * 7);

    auto same = [](std::function<void(std::ostream&)> write) {
        return [write](const fs::path& p) {
            std::ostringstream want(std::ios::binary);
            write(want);
            EXPECT_EQ(ReadAll(p), want.str()) << p;
        };
    };
    const Writer writers[] = {
        {"doc.frc", [&](const std::string& p, std::string& e) { return SaveDocumentFile(p, 0, *set, e); },
         same([&](std::ostream& o) { WriteDocumentFile(o, 0, *set); })},
        {"grid.fdt", [&](const std::string& p, std::string& e) { return SaveDataFile(p, *set, e); },
         same([&](std::ostream& o) { WriteDataFile(o, *set); })},
        {"image.bmp", [&](const std::string& p, std::string& e) { return SaveImageFile(p, image, e); },
         same([&](std::ostream& o) { WriteBitmapFile(o, image); })},
        {"image.png", [&](const std::string& p, std::string& e) { return SaveImageFile(p, image, e); },
         [&](const fs::path& p) {
             const QImage back(QString::fromStdString(p.string()), "PNG");
             EXPECT_EQ(back.convertToFormat(QImage::Format_BGR888), CanvasImage(image));
         }},
    };

    const fs::path disk = dir / "disk";
    fs::create_directories(disk);
    SmallDisk small(disk);
    for (const Writer& w : writers)
        WriteAll(disk / w.name, std::string("the old ") + w.name + "\n");
    small.Fill();
    for (const Writer& w : writers) {
        const std::string path = (disk / w.name).string();
        std::string error;
        EXPECT_FALSE(w.save(path, error)) << w.name;
        EXPECT_NE(error.find(path), std::string::npos) << error;
        EXPECT_NE(error.find(small.Reason()), std::string::npos) << error;
        EXPECT_EQ(ReadAll(path), std::string("the old ") + w.name + "\n");
    }
    // Nothing is left behind of the failed saves.
    size_t files = 0;
    for (const auto& entry : fs::directory_iterator(disk))
        files += entry.path() != small.Filler();
    EXPECT_EQ(files, std::size(writers));

    small.Free();
    for (const Writer& w : writers) {
        std::string error;
        ASSERT_TRUE(w.save((disk / w.name).string(), error)) << error;
        w.check(disk / w.name);
    }
}

TEST_F(SaveFolder, AReplacedFileKeepsItsModeAndItsLink)
{
    const fs::path file = dir / "picture.bmp", link = dir / "link.bmp";
    WriteAll(file, "old");
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    fs::create_symlink(file.filename(), link);
    std::string error;
    ASSERT_TRUE(WriteFileAtomically(link.string(), "new", error)) << error;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadAll(file), "new");
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    // A folder in the way is reported and left alone.
    fs::create_directories(dir / "folder.frc");
    EXPECT_FALSE(WriteFileAtomically((dir / "folder.frc").string(), "x", error));
    EXPECT_NE(error.find(std::strerror(EISDIR)), std::string::npos) << error;
    EXPECT_TRUE(fs::is_directory(dir / "folder.frc"));
}

} // namespace
