// The folder of per-person files: all files or none, private modes, nothing that was there before
// removed, and the files in the way listed before anything is written.
#include "slip_folder.h"

#include "file_faults.h"
#include "slip_run.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>

namespace quenly::delivery {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

unsigned modeOf(const fs::path& p) {
    struct stat st {};
    ::stat(p.c_str(), &st);
    return st.st_mode & 07777;
}

TEST(SlipFolder, CommitPutsEveryFileInPlaceReadableByItsOwnerOnly) {
    test::TempDir dir;
    const mode_t old = ::umask(0);
    {
        SlipFolder folder(dir / "a/b", false);
        folder.make();
        folder.put("张三.pdf", "%PDF one");
        folder.put("李四.pdf", "%PDF two");
        EXPECT_EQ(test::entriesOf(dir / "a/b").size(), 2u); // under temporary names
        EXPECT_FALSE(fs::exists(dir / "a/b/张三.pdf"));
        folder.commit();
    }
    ::umask(old);
    EXPECT_EQ(test::entriesOf(dir / "a/b"), (Names{"张三.pdf", "李四.pdf"}));
    EXPECT_EQ(test::contentsOf(dir / "a/b/李四.pdf"), "%PDF two");
    EXPECT_EQ(modeOf(dir / "a/b/张三.pdf"), 0600u);
    EXPECT_EQ(modeOf(dir / "a"), 0700u);
    EXPECT_EQ(modeOf(dir / "a/b"), 0700u);
}

TEST(SlipFolder, TemporariesOfAKilledRunGoAtTheNextRun) {
    test::TempDir dir;
    // A run that was killed: its writer has ended (pid_max stays below 2^22).
    const std::string stale = ".张三.pdf.tmp.99999999.0";
    // A run still going, and files that only look like temporaries.
    const std::string running = ".李四.pdf.tmp." + std::to_string(::getpid()) + ".3";
    const Names kept{running, ".notes.pdf.tmp.txt", "王五.pdf.tmp.99999999.1",
                     ".a.pdf.tmp.99999999.x", "张三.pdf"};
    for (const std::string& name : kept) {
        std::ofstream(dir / name) << "x";
    }
    std::ofstream(dir / stale) << "%PDF pay";
    fs::create_directory(dir / ".folder.pdf.tmp.99999999.2");
    SlipFolder folder(dir.path(), false);
    folder.make();
    EXPECT_FALSE(fs::exists(dir / stale));
    for (const std::string& name : kept) {
        EXPECT_TRUE(fs::exists(dir / name)) << name;
    }
    EXPECT_TRUE(fs::is_directory(dir / ".folder.pdf.tmp.99999999.2"));
}

TEST(SlipFolder, FilesInTheWay) {
    test::TempDir dir;
    std::ofstream(dir / "张三.pdf") << "old";
    fs::create_directory(dir / "李四.pdf");
    const Names names{"张三.pdf", "李四.pdf", "王五.pdf"};
    EXPECT_EQ(SlipFolder(dir.path(), false).inTheWay(names), (Names{"张三.pdf", "李四.pdf"}));
    // --overwrite replaces files, never a folder.
    EXPECT_EQ(SlipFolder(dir.path(), true).inTheWay(names), (Names{"李四.pdf"}));
    EXPECT_TRUE(SlipFolder(dir / "missing", false).inTheWay(names).empty());
    EXPECT_THROW(SlipFolder(dir / "张三.pdf", false).inTheWay(names), DeliveryError);
}

TEST(SlipFolder, AFailurePartWayLeavesOnlyWhatWasThere) {
    test::TempDir dir;
    fs::create_directory(dir / "out");
    std::ofstream(dir / "out/keep.pdf") << "old";
    {
        SlipFolder folder(dir / "out/new", true);
        folder.make();
        test::FullDisk full(dir.path(), 25);
        folder.put("1.pdf", std::string(10, 'x'));
        folder.put("2.pdf", std::string(10, 'x'));
        EXPECT_THROW(folder.put("3.pdf", std::string(10, 'x')), DeliveryError);
    }
    EXPECT_EQ(test::entriesOf(dir / "out"), (Names{"keep.pdf"}));
    EXPECT_EQ(test::contentsOf(dir / "out/keep.pdf"), "old");

    // A file made in the way after the check is not replaced without --overwrite, and the files
    // this run already renamed go again.
    fs::create_directory(dir / "two");
    {
        SlipFolder folder(dir / "two", false);
        folder.put("a.pdf", "new a");
        folder.put("b.pdf", "new b");
        std::ofstream(dir / "two/b.pdf") << "theirs";
        EXPECT_THROW(folder.commit(), DeliveryError);
    }
    EXPECT_EQ(test::entriesOf(dir / "two"), (Names{"b.pdf"}));
    EXPECT_EQ(test::contentsOf(dir / "two/b.pdf"), "theirs");
}

} // namespace
} // namespace quenly::delivery
