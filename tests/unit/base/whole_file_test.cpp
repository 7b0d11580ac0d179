// Writing a file whole or not at all.
#include "whole_file.h"

#include "file_faults.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace quenly::files {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

TEST(WholeFile, ReplacesTheTargetOnlyOnCommit) {
    TempDir dir;
    const fs::path target = dir / "工资条.xlsx";
    std::ofstream(target) << "old";
    {
        WholeFile file(target);
        ASSERT_EQ(file.error(), 0);
        EXPECT_EQ(file.temporary().parent_path(), dir.path());
        EXPECT_TRUE(file.temporary().filename().string().starts_with(".工资条.xlsx.tmp."));
        ASSERT_EQ(file.write("new", 3), 0);
        EXPECT_EQ(test::contentsOf(target), "old");
        ASSERT_EQ(file.commit(), 0);
    }
    EXPECT_EQ(test::contentsOf(target), "new");
    EXPECT_EQ(test::entriesOf(dir.path()), std::vector<std::string>{"工资条.xlsx"});
}

// Results hold every person's pay: only their owner may read them, whatever the umask; a file
// asked for as shared gets what any new file gets.
TEST(WholeFile, ANewFileIsPrivateWhateverTheUmask) {
    TempDir dir;
    const mode_t mask = ::umask(0);
    auto modeOf = [&](const fs::path& target, unsigned mode) {
        WholeFile file(target, mode);
        EXPECT_EQ(file.error(), 0);
        EXPECT_EQ(file.commit(), 0);
        struct stat st {};
        EXPECT_EQ(::stat(target.c_str(), &st), 0);
        return st.st_mode & 0777;
    };
    const mode_t privateMode = modeOf(dir / "result.xlsx", WholeFile::kPrivate);
    const mode_t sharedMode = modeOf(dir / "sys.ini", WholeFile::kShared);
    ::umask(mask);
    EXPECT_EQ(privateMode, 0600u);
    EXPECT_EQ(sharedMode, 0666u);
}

TEST(WholeFile, AWriteThatFailsLeavesTheTargetAndNoTemporary) {
    TempDir dir;
    const fs::path target = dir / "out.pdf";
    std::ofstream(target) << "old";
    {
        test::FullDisk full(dir.path(), 10);
        WholeFile file(target);
        ASSERT_EQ(file.error(), 0);
        EXPECT_EQ(file.write(std::string(100, 'x').data(), 100), ENOSPC);
    }
    EXPECT_EQ(test::contentsOf(target), "old");
    EXPECT_EQ(test::entriesOf(dir.path()), std::vector<std::string>{"out.pdf"});
}

TEST(WholeFile, ALongNameGetsAShortTemporaryName) {
    TempDir dir;
    // 250 bytes: a valid name, but too long with ".", ".tmp." and two numbers around it.
    std::string name;
    while (name.size() < 245) {
        name += "工";
    }
    name += ".pdf";
    {
        WholeFile file(dir / name);
        ASSERT_EQ(file.error(), 0);
        EXPECT_TRUE(file.temporary().filename().string().starts_with(".quenly-save.tmp."));
        ASSERT_EQ(file.write("%PDF", 4), 0);
        ASSERT_EQ(file.commit(), 0);
    }
    EXPECT_EQ(test::entriesOf(dir.path()), std::vector<std::string>{name});
    // Longer than any name may be: refused as the system refuses it, nothing left behind.
    {
        WholeFile tooLong(dir / (name + name));
        ASSERT_EQ(tooLong.error(), 0);
        EXPECT_EQ(tooLong.commit(), ENAMETOOLONG);
    }
    EXPECT_EQ(test::entriesOf(dir.path()), std::vector<std::string>{name});
}

} // namespace
} // namespace quenly::files
