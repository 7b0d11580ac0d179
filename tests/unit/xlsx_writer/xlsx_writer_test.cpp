// Tests of the .xlsx packager: every part in the package, the same bytes on any number of
// threads, books it refuses, write faults, and whole files opened by openpyxl.
#include "slip_fixture.h"
#include "writer_fixture.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <regex>
#include <stdexcept>
#include <string>
#include <sys/resource.h>

using namespace quenly::wb;
using namespace quenly::wb::test;
using quenly::test::TempDir;

TEST_F(XlsxParts, PackageHasEveryPart) {
    std::vector<std::string> names;
    for (const auto& [name, data] : parts) {
        names.push_back(name);
    }
    EXPECT_EQ(names,
              (std::vector<std::string>{"[Content_Types].xml", "_rels/.rels", "docProps/app.xml",
                                        "docProps/core.xml", "xl/_rels/workbook.xml.rels",
                                        "xl/sharedStrings.xml", "xl/styles.xml", "xl/workbook.xml",
                                        "xl/worksheets/sheet1.xml", "xl/worksheets/sheet2.xml"}));
}

TEST(XlsxWriter, SameBytesWhateverTheThreadCount) {
    TempDir dir;
    auto book = quenly::test::makeWageSlips(3000, 25);
    writeXlsx(*book, dir / "one.xlsx", {1});
    writeXlsx(*book, dir / "four.xlsx", {4});
    auto a = readParts(dir / "one.xlsx");
    auto b = readParts(dir / "four.xlsx");
    a.erase("docProps/core.xml");
    b.erase("docProps/core.xml");
    EXPECT_EQ(a, b);
    // Big enough to have been cut into many pieces.
    EXPECT_GT(a["xl/worksheets/sheet1.xml"].size(), 6u << 20);
}

TEST(XlsxWriter, BadBooksAreRefusedWithoutTouchingTheFile) {
    TempDir dir;
    const auto file = dir / "keep.xlsx";
    { std::ofstream(file) << "old"; }
    auto expectRefused = [&](const Workbook& book, const std::string& message) {
        try {
            writeXlsx(book, file);
            ADD_FAILURE() << "written: " << message;
        } catch (const WorkbookError& e) {
            EXPECT_EQ(std::string(e.what()), message);
        }
        std::ifstream in(file);
        std::string content;
        in >> content;
        EXPECT_EQ(content, "old");
    };
    const std::string prefix = "无法保存文件“" + file.string() + "”：";
    Workbook empty;
    expectRefused(empty, prefix + "工作簿中没有工作表");
    const std::string rule = "”无效（名称不能为空、不能超过 31 个字符、不能以单引号开头或结尾，"
                             "也不能包含 : \\ / ? * [ ]）";
    for (const std::string name : {"", "a/b", "[1]", "'x",
                                   "一二三四五六七八九十一二三四五六七八九十"
                                   "一二三四五六七八九十一二"}) {
        Workbook book;
        book.addSheet(name);
        expectRefused(book, prefix + "工作表名称“" + name + rule);
    }
    Workbook twice;
    twice.addSheet("Sheet1");
    twice.addSheet("SHEET1");
    expectRefused(twice, prefix + "有多个工作表名为“SHEET1”");
    Workbook badStyle;
    badStyle.addSheet("Sheet1").cellForWrite(0, 0).style = 99;
    expectRefused(badStyle, prefix + "工作表“Sheet1”的单元格 A1 引用了不存在的格式");
    // 31 characters is still a good name.
    Workbook longName;
    longName.addSheet("一二三四五六七八九十一二三四五六七八九十一二三四五六七八九十一");
    EXPECT_NO_THROW(writeXlsx(longName, dir / "long.xlsx"));
}

TEST(XlsxWriter, UnwritablePathNamesTheFile) {
    TempDir dir;
    const auto file = dir / "missing" / "out.xlsx";
    Workbook book;
    book.addSheet("Sheet1");
    try {
        writeXlsx(book, file);
        FAIL();
    } catch (const WorkbookError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "无法写入文件“" + file.string() + "”：" + std::strerror(ENOENT));
    }
}

TEST(XlsxWriter, OpenpyxlReadsValuesStylesMergesWidthsAndHeights) {
    const std::string python = QUENLY_PYTHON;
    if (python.empty() ||
        std::system((python + " -c 'import openpyxl' 2>/dev/null").c_str()) != 0) {
        GTEST_SKIP() << "no python with openpyxl";
    }
    TempDir dir;
    auto book = sampleBook();
    writeXlsx(*book, dir / "sample.xlsx", {2});
    auto slips = quenly::test::makeWageSlips(200, 25);
    // Ten slips a page.
    PageSetup pages;
    for (std::uint32_t row = 40; row < 800; row += 40) {
        pages.rowBreaks.push_back(row);
    }
    slips->sheet(0).pageSetup = pages;
    writeXlsx(*slips, dir / "slips.xlsx", {2});
    const std::string cmd = python + " " + OPENPYXL_CHECK + " '" + (dir / "sample.xlsx").string() +
                            "' '" + (dir / "slips.xlsx").string() + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
}

TEST(XlsxWriter, AFileCutShortByAFullDiskIsRemoved) {
    TempDir dir;
    const auto file = dir / "cut.xlsx";
    auto book = quenly::test::makeWageSlips(2000, 25);
    // A file size limit makes writes fail with EFBIG part way, as a full disk would.
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 64 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string message;
    try {
        writeXlsx(*book, file, {2});
    } catch (const WorkbookError& e) {
        message = e.what();
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(message, "无法写入文件“" + file.string() + "”：" + std::strerror(EFBIG));
    EXPECT_FALSE(std::filesystem::exists(file));
}
