// Tests of saying what a file is when it is no workbook.
#include "temp_dir.h"
#include "workbook_file.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

using quenly::wb::describeNonWorkbook;

class Sniff : public ::testing::Test {
protected:
    std::filesystem::path write(const std::string& name, const std::string& bytes) {
        const auto p = dir / name;
        std::ofstream out(p, std::ios::binary);
        out << bytes;
        return p;
    }
    std::string quoted(const std::filesystem::path& p) { return "“" + p.string() + "”"; }
    quenly::test::TempDir dir;
    const std::string saveAs = "请用 WPS 表格或 LibreOffice 打开并另存为 .xlsx 后再试";
};

TEST_F(Sniff, EmptyFile) {
    const auto p = write("empty.xls", "");
    EXPECT_EQ(describeNonWorkbook(p), quoted(p) + "是一个空文件（0 字节），里面没有工作簿");
}

TEST_F(Sniff, HtmlTablesSavedAsXls) {
    const std::string expected =
        "其实是一个 HTML 网页（常见于网站或业务系统导出的“Excel”表格），不是真正的 Excel 工作簿。";
    const auto a = write("a.xls", "\xEF\xBB\xBF  <HTML><body><table><tr><td>1</td></tr></table>");
    EXPECT_EQ(describeNonWorkbook(a), quoted(a) + expected + saveAs);
    const auto b = write("b.xls", "<table border=1><tr><td>姓名</td></tr></table>");
    EXPECT_EQ(describeNonWorkbook(b), quoted(b) + expected + saveAs);
}

TEST_F(Sniff, SpreadsheetXml2003) {
    const auto p = write("x.xls", "<?xml version=\"1.0\"?>\n<Workbook "
                                  "xmlns=\"urn:schemas-microsoft-com:office:spreadsheet\">");
    EXPECT_EQ(describeNonWorkbook(p),
              quoted(p) + "是“XML 电子表格 2003”格式的文件，不是 .xls 或 .xlsx 工作簿。" + saveAs);
}

TEST_F(Sniff, DelimitedAndPlainText) {
    const auto csv = write("c.xls", "姓名,工资,部门\n张三,100,A\n李四,200,B\n");
    EXPECT_EQ(describeNonWorkbook(csv),
              quoted(csv) + "其实是一个 CSV 文本文件（以逗号分隔），不是 Excel 工作簿。" + saveAs);
    const auto tsv = write("t.xls", "a\tb\n1\t2\n");
    EXPECT_EQ(describeNonWorkbook(tsv),
              quoted(tsv) + "其实是一个以制表符分隔的文本文件，不是 Excel 工作簿。" + saveAs);
    const auto utf16 = write("u.xls", std::string("\xFF\xFE"
                                                  "a\0\t\0b\0\n\0",
                                                  10));
    EXPECT_EQ(describeNonWorkbook(utf16),
              quoted(utf16) + "其实是一个以制表符分隔的 Unicode 文本文件，不是 Excel 工作簿。" +
                  saveAs);
    const auto txt = write("p.xls", "just some words\n");
    EXPECT_EQ(describeNonWorkbook(txt), quoted(txt) + "其实是一个纯文本文件，不是 Excel 工作簿");
}

TEST_F(Sniff, OtherDocumentsAndBinaryData) {
    const auto pdf = write("d.xls", "%PDF-1.4\n...");
    EXPECT_EQ(describeNonWorkbook(pdf), quoted(pdf) + "其实是一个 PDF 文档，不是 Excel 工作簿");
    const auto bin = write("b.xls", std::string("\x01\x02\x00\xFF\x10\x20\x30\x40\x50", 9));
    EXPECT_EQ(describeNonWorkbook(bin), quoted(bin) +
                                            "的内容无法识别（开头的字节为 01 02 00 FF 10 20 30 "
                                            "40），它不是 Excel 工作簿，也可能已损坏");
    EXPECT_EQ(describeNonWorkbook(dir / "none.xls"),
              "无法读取" + quoted(dir / "none.xls") + "：文件不存在或没有读取权限");
}

} // namespace
