// Tests of the compound file container: sector sizes, the mini stream, DIFAT, broken chains.
#include "error_of.h"
#include "temp_dir.h"
#include "xls/cfb.h"
#include "xls/xls_reader.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace {

using quenly::test::testDataDir;
using quenly::wb::WorkbookError;
using quenly::wb::xls::CompoundFile;

std::filesystem::path dataFile(const std::string& name) {
    return testDataDir() / "xls" / name;
}

std::vector<std::uint8_t> bytesOf(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string errorOf(const std::filesystem::path& p) {
    return quenly::test::errorOf<WorkbookError>([&] { quenly::wb::readXls(p); });
}

std::string prefix(const std::filesystem::path& p) {
    return "无法读取“" + p.string() + "”：";
}

TEST(CompoundFile, ReadsVersion3AndVersion4Alike) {
    const auto p3 = dataFile("biff8_records.xls");
    const auto p4 = dataFile("biff8_records_v4.xls");
    CompoundFile v3(bytesOf(p3), p3.string());
    CompoundFile v4(bytesOf(p4), p4.string());
    EXPECT_EQ(v3.version(), 3);
    EXPECT_EQ(v4.version(), 4);
    EXPECT_EQ(v3.streamNames(), std::vector<std::string>{"Workbook"});
    EXPECT_TRUE(v3.hasStream("WORKBOOK"));
    EXPECT_FALSE(v3.hasStream("Book"));
    const auto s3 = v3.readStream("Workbook");
    EXPECT_GT(s3.size(), 8224u); // more than one sector chain's worth, read in regular sectors
    EXPECT_EQ(s3, v4.readStream("Workbook"));
}

TEST(CompoundFile, ReadsSmallStreamsFromTheMiniStream) {
    const auto p = dataFile("biff5_cp936.xls");
    CompoundFile cfb(bytesOf(p), p.string());
    const auto book = cfb.readStream("Book");
    ASSERT_LT(book.size(), 4096u);
    ASSERT_GE(book.size(), 4u);
    EXPECT_EQ(book[0], 0x09); // BOF
    EXPECT_EQ(book[1], 0x08);
}

TEST(CompoundFile, FindsFatSectorsThroughTheDifat) {
    // 110 FAT sectors: the 110th is named in the DIFAT sector, not in the header.
    const auto p = dataFile("difat_110_fat_sectors.xls");
    auto book = quenly::wb::readXls(p);
    ASSERT_EQ(book->sheetCount(), 1u);
    const auto* c = book->sheet(0).cell(0, 1);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->number, 2.0);
}

TEST(CompoundFile, MissingStreamIsAnError) {
    const auto p = dataFile("small.xls");
    CompoundFile cfb(bytesOf(p), p.string());
    try {
        cfb.readStream("Book");
        FAIL() << "no error";
    } catch (const WorkbookError& e) {
        EXPECT_EQ(std::string(e.what()), prefix(p) + "复合文档里没有“Book”流");
    }
}

TEST(CompoundFile, BrokenContainersGiveExactErrors) {
    struct Case {
        const char* file;
        const char* message;
    };
    const Case cases[] = {
        {"header_only.xls", "文件只有 100 字节，不足复合文档文件头的 512 字节，文件不完整"},
        {"truncated.xls",
         "“Workbook”流的大小 5602 字节超过了整个文件（4300 字节），文件可能已被截断"},
        {"truncated_tail.xls",
         "“Workbook”流的扇区 11（文件偏移 6144）超出了文件末尾（6468 字节），文件可能已被截断"},
        {"fat_chain_loop.xls", "“Workbook”流的扇区链在扇区 2 处形成循环"},
        {"fat_sector_out_of_range.xls",
         "“Workbook”流的扇区链指向扇区 5000，超出了扇区分配表的范围（共 128 项）"},
        {"fat_chain_ends_early.xls",
         "“Workbook”流的扇区链在第 1 个扇区后提前结束，但其大小需要 11 个扇区"},
        {"directory_loop.xls", "复合文档目录树在第 1 项处形成循环"},
        {"difat_chain_loop.xls", "DIFAT 扇区链在扇区 237 处形成循环"},
        {"word_document.xls", "这是一个 Word 文档，不是 Excel 工作簿"},
        {"minifat_chain_loop.xls", "“Book”流的短扇区链在短扇区 0 处形成循环"},
        {"minifat_sector_out_of_range.xls",
         "“Book”流的短扇区链指向短扇区 9999，超出了短扇区分配表的范围（共 128 项）"},
    };
    for (const Case& c : cases) {
        const auto p = dataFile(c.file);
        EXPECT_EQ(errorOf(p), prefix(p) + c.message) << c.file;
    }
}

TEST(CompoundFile, RejectsWhatIsNoCompoundFile) {
    quenly::test::TempDir dir;
    const auto p = dir / "fake.xls";
    {
        std::ofstream out(p, std::ios::binary);
        out << std::string(600, 'x');
    }
    EXPECT_EQ(errorOf(p), prefix(p) + "文件开头不是复合文档的签名，它不是 .xls 工作簿");
    EXPECT_EQ(errorOf(dir / "missing.xls"), prefix(dir / "missing.xls") + "文件不存在");
}

TEST(CompoundFile, EveryCutOfAFileFailsCleanly) {
    // Whatever length a file is cut to, reading ends in an error, never a crash or a hang.
    const auto whole = bytesOf(dataFile("biff8_records.xls"));
    ASSERT_GT(whole.size(), 1024u);
    quenly::test::TempDir dir;
    const auto p = dir / "cut.xls";
    // The last sector ends in padding after the stream's data; every cut before it loses data.
    for (std::size_t len = 0; len < whole.size() - 512; len += 97) {
        {
            std::ofstream out(p, std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(whole.data()),
                      static_cast<std::streamsize>(len));
        }
        EXPECT_THROW(quenly::wb::readXls(p), WorkbookError) << len;
    }
}

TEST(CompoundFile, CorruptedBytesNeverCrash) {
    // Byte after byte of header, sector tables, directory and records flipped in turn: an
    // error or a workbook, but always a bounded, checked read.
    const auto whole = bytesOf(dataFile("biff8_records.xls"));
    ASSERT_GT(whole.size(), 2048u);
    quenly::test::TempDir dir;
    const auto p = dir / "flip.xls";
    for (std::size_t at = 0x1A; at < whole.size(); at += 5) {
        auto bytes = whole;
        bytes[at] ^= 0xFF;
        {
            std::ofstream out(p, std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<std::streamsize>(bytes.size()));
        }
        try {
            quenly::wb::readXls(p);
        } catch (const WorkbookError& e) {
            EXPECT_EQ(std::string(e.what()).rfind(prefix(p), 0), 0u) << at;
        }
    }
}

} // namespace
