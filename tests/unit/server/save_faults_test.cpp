// Saving and opening workbook files when things go wrong: a full or read-only disk, a name too
// long for the usual temporary name, blanks around a path. Each fault is told in Chinese,
// naming the file, and a failed save leaves the folder as it was.
#include "file_faults.h"
#include "temp_dir.h"
#include "workbook_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quenly::wb {
namespace {

using quenly::test::TempDir;
namespace fs = std::filesystem;

// A sheet of `rows` rows of numbers that do not compress well.
std::unique_ptr<Workbook> bookOf(std::uint32_t rows) {
    auto book = std::make_unique<Workbook>();
    Worksheet& ws = book->addSheet("工资条");
    std::mt19937 random(7);
    for (std::uint32_t r = 0; r < rows; ++r) {
        for (std::uint32_t c = 0; c < 8; ++c) {
            ws.cellForWrite(r, c) = Cell::makeNumber(random() / 7.0);
        }
    }
    return book;
}

std::string saveError(const Workbook& book, const fs::path& file) {
    try {
        saveWorkbook(book, file);
    } catch (const WorkbookError& e) {
        return e.what();
    }
    return "(saved)";
}

TEST(SaveFaults, AFullDiskKeepsTheOldFileAndLeavesNoTemporaryFile) {
    TempDir dir;
    const fs::path out = dir / "工资条.xlsx";
    saveWorkbook(*bookOf(10), out);
    const std::string old = quenly::test::contentsOf(out);
    {
        quenly::test::FullDisk full(dir.path(), 64 * 1024);
        EXPECT_EQ(saveError(*bookOf(20000), out),
                  "无法保存到“" + out.string() + "”：磁盘空间不足，请腾出空间或换一个位置保存");
        EXPECT_GT(full.refused(), 0u);
    }
    EXPECT_EQ(quenly::test::entriesOf(dir.path()), std::vector<std::string>{"工资条.xlsx"});
    EXPECT_EQ(quenly::test::contentsOf(out), old);
}

// A small tmpfs on a folder of its own: root only.
class SmallDisk : public ::testing::Test {
protected:
    void mountDisk(const char* options) {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "mounting a small tmpfs needs root";
        }
        if (::mount("tmpfs", m_dir.path().c_str(), "tmpfs", 0, options) != 0) {
            GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
        }
        m_mounted = true;
    }
    void TearDown() override {
        if (m_mounted) {
            ::umount2(m_dir.path().c_str(), MNT_DETACH);
        }
    }

    TempDir m_dir;
    bool m_mounted = false;
};

TEST_F(SmallDisk, AReadOnlyDiskIsNamedAsSuch) {
    mountDisk("size=128k,ro");
    const fs::path out = m_dir / "工资条.xlsx";
    EXPECT_EQ(saveError(*bookOf(1), out),
              "无法保存到“" + out.string() + "”：该位置是只读的，请换一个文件夹保存");
    EXPECT_TRUE(quenly::test::entriesOf(m_dir.path()).empty());
}

TEST(SaveFaults, AFolderWithoutWritePermission) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "a privileged user may write into any folder";
    }
    TempDir dir;
    fs::create_directory(dir / "ro");
    fs::permissions(dir / "ro", fs::perms::owner_read | fs::perms::owner_exec);
    const fs::path out = dir / "ro" / "out.xlsx";
    EXPECT_EQ(saveError(*bookOf(1), out),
              "无法保存到“" + out.string() + "”：没有写入权限，请换一个文件夹保存");
    fs::permissions(dir / "ro", fs::perms::owner_all);
    EXPECT_TRUE(quenly::test::entriesOf(dir / "ro").empty());
}

TEST(SaveFaults, ANameTooLongForTheUsualTemporaryNameStillSaves) {
    TempDir dir;
    // 250 bytes: a valid name, but too long for the usual temporary name made of it.
    std::string name;
    while (name.size() < 245) {
        name += "工";
    }
    name += ".xlsx";
    ASSERT_LE(name.size(), 255u);
    ASSERT_GT(name.size() + 12, 255u);
    saveWorkbook(*bookOf(3), dir / name);
    EXPECT_EQ(quenly::test::entriesOf(dir.path()), std::vector<std::string>{name});
    EXPECT_EQ(loadWorkbook(dir / name)->sheet(0).rowCount(), 3u);
    // A name longer than any the system allows is refused in words, leaving nothing behind.
    const fs::path tooLong = dir / (name + name);
    EXPECT_EQ(saveError(*bookOf(1), tooLong), "无法保存到“" + tooLong.string() + "”：文件名太长");
    EXPECT_EQ(quenly::test::entriesOf(dir.path()), std::vector<std::string>{name});
}

TEST(OpenFaults, BlanksAroundAPathAreKeptAndPointedOut) {
    TempDir dir;
    saveWorkbook(*bookOf(1), dir / "工资表.xlsx");
    const std::string spaced = (dir / "工资表.xlsx").string() + "  ";
    try {
        loadWorkbook(spaced);
        ADD_FAILURE() << "opened a file that does not exist";
    } catch (const WorkbookError& e) {
        EXPECT_EQ(std::string(e.what()), "文件“" + spaced +
                                             "”不存在（路径的开头或结尾有空格；去掉空格后的“" +
                                             (dir / "工资表.xlsx").string() + "”是存在的）");
    }
    // Without such a file the message is the plain one.
    const std::string missing = (dir / "无此文件.xlsx").string() + " ";
    try {
        loadWorkbook(missing);
        ADD_FAILURE() << "opened a file that does not exist";
    } catch (const WorkbookError& e) {
        EXPECT_EQ(std::string(e.what()), "文件“" + missing + "”不存在");
    }
    // A file whose name really ends in blanks opens under that name.
    saveWorkbook(*bookOf(2), spaced);
    EXPECT_EQ(loadWorkbook(spaced)->sheet(0).rowCount(), 2u);
}

} // namespace
} // namespace quenly::wb
