// Tests of the header options store: preparing, writing and reading "sys.ini".
#include "header_options.h"

#include "temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace quenly {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

void spit(const fs::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

fs::perms permsOf(const fs::path& path) {
    return fs::status(path).permissions();
}

const std::string kPrepared = "[option]\r\nStartTitleRow=1\r\nEndTitleRow=1\r\n"
                              "StartTitleCol=A\r\nEndTitleCol=\r\n";

TEST(HeaderOptionsPrepare, MissingFileIsCreatedAndFilled) {
    TempDir dir;
    const fs::path ini = dir / "sys.ini";
    const HeaderOptions got = HeaderOptionsStore(ini).prepareForEditing();
    EXPECT_EQ(got, (HeaderOptions{"1", "1", "A", ""}));
    EXPECT_EQ(test::contentsOf(ini), kPrepared);
}

TEST(HeaderOptionsPrepare, SectionWithoutKeysIsFilledOtherSectionsSurvive) {
    TempDir dir;
    const fs::path ini = dir / "sys.ini";
    spit(ini, "[window]\nx=1\n[Option]\n; left here\n[tail]\ny=2");
    EXPECT_EQ(HeaderOptionsStore(ini).prepareForEditing(), (HeaderOptions{"1", "1", "A", ""}));
    EXPECT_EQ(test::contentsOf(ini), "[window]\nx=1\n[Option]\nStartTitleRow=1\r\nEndTitleRow=1\r\n"
                                     "StartTitleCol=A\r\nEndTitleCol=\r\n; left here\n[tail]\ny=2");
}

TEST(HeaderOptionsPrepare, PartialSectionIsLeftAloneAndDefaultsFillTheRest) {
    TempDir dir;
    const fs::path ini = dir / "sys.ini";
    const std::string content = "[option]\nEndTitleRow= 3 \nStartTitleCol=\"C\"\n";
    spit(ini, content);
    EXPECT_EQ(HeaderOptionsStore(ini).prepareForEditing(), (HeaderOptions{"1", "3", "C", ""}));
    EXPECT_EQ(test::contentsOf(ini), content);
}

TEST(HeaderOptionsPrepare, EmptyFileIsFilled) {
    TempDir dir;
    const fs::path ini = dir / "sys.ini";
    spit(ini, "");
    HeaderOptionsStore(ini).prepareForEditing();
    EXPECT_EQ(test::contentsOf(ini), kPrepared);
}

TEST(HeaderOptionsRead, ExportDefaultsDifferOnlyInEndTitleCol) {
    TempDir dir;
    const fs::path ini = dir / "sys.ini";
    const HeaderOptionsStore store(ini);
    EXPECT_EQ(store.readForExport(), (HeaderOptions{"1", "1", "A", "Z"}));
    EXPECT_FALSE(fs::exists(ini)) << "reading never creates the file";

    spit(ini, "[option]\nStartTitleRow=2\n");
    EXPECT_EQ(store.readForExport(), (HeaderOptions{"2", "1", "A", "Z"}));
    EXPECT_EQ(store.readForExport("EndTitleCol"), "Z");
    EXPECT_EQ(store.readForExport("StartTitleRow"), "2");
    EXPECT_EQ(store.readForExport("Unknown"), "");

    spit(ini, "[option]\nEndTitleCol=\n");
    EXPECT_EQ(store.readForExport().EndTitleCol, "");
    EXPECT_EQ(store.readForExport("EndTitleCol"), "");
    EXPECT_EQ(store.prepareForEditing().EndTitleCol, "");
    EXPECT_EQ(test::contentsOf(ini), "[option]\nEndTitleCol=\n");
}

TEST(HeaderOptionsRead, EachReadSeesTheFileAsItIsNow) {
    TempDir dir;
    const fs::path ini = dir / "sys.ini";
    const HeaderOptionsStore store(ini);
    spit(ini, "[option]\nEndTitleCol=F\n");
    EXPECT_EQ(store.readKey("EndTitleCol", "?"), "F");
    spit(ini, "[option]\nEndTitleCol=G\n");
    EXPECT_EQ(store.readKey("EndTitleCol", "?"), "G");
}

TEST(HeaderOptionsRead, UnreadableFileGivesDefaults) {
    TempDir dir;
    // A directory in place of the file cannot be read as one.
    fs::create_directory(dir / "sys.ini");
    EXPECT_EQ(HeaderOptionsStore(dir / "sys.ini").readForExport(),
              (HeaderOptions{"1", "1", "A", "Z"}));
}

TEST(HeaderOptionsWrite, WritesKeyByKeyAndKeepsOtherLines) {
    TempDir dir;
    const fs::path ini = dir / "sys.ini";
    spit(ini, "\xEF\xBB\xBF[misc]\nkeep = me\n[option]\nstarttitlerow=9\n");
    const HeaderOptionsStore store(ini);
    store.writeKey("StartTitleRow", "2");
    store.writeKey("EndTitleRow", "3");
    store.writeKey("StartTitleCol", "B");
    store.writeKey("EndTitleCol", "F");
    EXPECT_EQ(test::contentsOf(ini), "\xEF\xBB\xBF[misc]\nkeep = me\n[option]\nStartTitleRow=2\r\n"
                                     "EndTitleRow=3\r\nStartTitleCol=B\r\nEndTitleCol=F\r\n");
    EXPECT_EQ(store.readForExport(), (HeaderOptions{"2", "3", "B", "F"}));
}

TEST(HeaderOptionsWrite, CreatesFileAndLeavesNoTemporaryFiles) {
    TempDir dir;
    const fs::path ini = dir / "sys.ini";
    HeaderOptionsStore(ini).writeKey("EndTitleCol", "Z");
    EXPECT_EQ(test::contentsOf(ini), "[option]\r\nEndTitleCol=Z\r\n");
    int entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.path())) {
        ++entries;
    }
    EXPECT_EQ(entries, 1);
}

TEST(HeaderOptionsWrite, KeepsPermissionsOfTheOldFile) {
    TempDir dir;
    const fs::path ini = dir / "sys.ini";
    spit(ini, "[option]\nA=1\n");
    fs::permissions(ini, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    HeaderOptionsStore(ini).writeKey("A", "2");
    EXPECT_EQ(permsOf(ini), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(test::contentsOf(ini), "[option]\nA=2\r\n");
}

TEST(HeaderOptionsWrite, WritesThroughASymlink) {
    TempDir dir;
    const fs::path real = dir / "real.ini";
    const fs::path link = dir / "sys.ini";
    spit(real, "[option]\nA=1\n");
    fs::create_symlink(real, link);
    HeaderOptionsStore(link).writeKey("A", "2");
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(test::contentsOf(real), "[option]\nA=2\r\n");
}

TEST(HeaderOptionsWrite, ReadOnlyFileIsRefusedAndKeptIntact) {
    // The refusal looks at the file's mode, so it holds for a privileged user as well.
    TempDir dir;
    const fs::path ini = dir / "sys.ini";
    const std::string content = "[option]\nStartTitleRow=4\n";
    spit(ini, content);
    fs::permissions(ini, fs::perms::owner_read | fs::perms::group_read);
    const HeaderOptionsStore store(ini);
    try {
        store.writeKey("StartTitleRow", "5");
        FAIL() << "the write was not refused";
    } catch (const OptionsWriteError& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + ini.string());
    }
    EXPECT_EQ(test::contentsOf(ini), content);
    EXPECT_EQ(permsOf(ini), fs::perms::owner_read | fs::perms::group_read);
    // Reads go on working.
    EXPECT_EQ(store.readForExport().StartTitleRow, "4");
}

TEST(HeaderOptionsWrite, ReadOnlyDirectoryIsRefused) {
    TempDir dir;
    const fs::path ini = dir / "sys.ini";
    const std::string content = "[option]\nStartTitleRow=4\n";
    spit(ini, content);
    fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec);
    const HeaderOptionsStore store(ini);
    EXPECT_THROW(store.writeKey("StartTitleRow", "5"), OptionsWriteError);
    EXPECT_EQ(test::contentsOf(ini), content);

    // Preparing a missing file in such a directory creates nothing and reports the write.
    const fs::path missing = dir / "missing.ini";
    try {
        HeaderOptionsStore(missing).prepareForEditing();
        FAIL() << "the write was not refused";
    } catch (const OptionsWriteError& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + missing.string());
    }
    if (::geteuid() != 0) {
        EXPECT_FALSE(fs::exists(missing));
    }
    fs::permissions(dir.path(), fs::perms::owner_all);
}

TEST(HeaderOptionsWrite, UnreadableFileIsNotReplaced) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "a privileged user can read any file";
    }
    TempDir dir;
    const fs::path ini = dir / "sys.ini";
    spit(ini, "[option]\nA=1\n[keep]\nB=2\n");
    fs::permissions(ini, fs::perms::owner_write);
    EXPECT_THROW(HeaderOptionsStore(ini).writeKey("A", "2"), OptionsWriteError);
    fs::permissions(ini, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(test::contentsOf(ini), "[option]\nA=1\n[keep]\nB=2\n");
}

TEST(HeaderOptionsWrite, RelativePathIsReportedInFull) {
    TempDir dir;
    const fs::path ini = dir / "sys.ini";
    spit(ini, "");
    fs::permissions(ini, fs::perms::owner_read);
    const fs::path before = fs::current_path();
    fs::current_path(dir.path());
    try {
        HeaderOptionsStore("sys.ini").writeKey("A", "1");
        ADD_FAILURE() << "the write was not refused";
    } catch (const OptionsWriteError& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + ini.string());
    }
    fs::current_path(before);
}

TEST(HeaderOptionsWrite, ValueWithLineBreakIsRefused) {
    TempDir dir;
    const fs::path ini = dir / "sys.ini";
    spit(ini, "[option]\nA=1\n");
    EXPECT_THROW(HeaderOptionsStore(ini).writeKey("A", "2\r\n[option]"), std::invalid_argument);
    EXPECT_EQ(test::contentsOf(ini), "[option]\nA=1\n");
}

TEST(HeaderOptionsPath, DefaultPathIsBesideTheExecutable) {
    const fs::path path = defaultOptionsPath();
    EXPECT_EQ(path.filename(), "sys.ini");
    EXPECT_EQ(path.parent_path(), fs::read_symlink("/proc/self/exe").parent_path());
    EXPECT_TRUE(path.is_absolute());
}

} // namespace
} // namespace quenly
