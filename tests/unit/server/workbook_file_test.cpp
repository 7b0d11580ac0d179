// Opening files by their content (and saying what a file really is) and saving safely.
#include "temp_dir.h"
#include "workbook_file.h"
#include "xls/xls_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <future>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace quenly::wb {
namespace {

using quenly::test::TempDir;
using quenly::wb::describeNonWorkbook;
namespace fs = std::filesystem;

void writeBytes(const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
}

std::string loadError(const fs::path& p) {
    try {
        loadWorkbook(p);
    } catch (const WorkbookError& e) {
        return e.what();
    }
    return "(opened)";
}

void put32(std::string& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        b[at + i] = static_cast<char>(v >> (8 * i));
    }
}

// A compound file with one directory sector naming the given streams.
std::string compoundFile(const std::vector<std::string>& streams) {
    std::string b(512 * 3, '\0');
    const unsigned char magic[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    for (int i = 0; i < 8; ++i) {
        b[i] = static_cast<char>(magic[i]);
    }
    b[0x18] = 0x3E; // minor version
    b[0x1A] = 3;    // major version 3
    b[0x1C] = '\xFE';
    b[0x1D] = '\xFF';
    b[0x1E] = 9; // 512-byte sectors
    b[0x20] = 6;
    put32(b, 0x2C, 1);          // one FAT sector
    put32(b, 0x30, 1);          // directory in sector 1
    put32(b, 0x38, 4096);       // mini stream cutoff
    put32(b, 0x3C, 0xFFFFFFFE); // no mini FAT
    put32(b, 0x44, 0xFFFFFFFE); // no DIFAT sectors
    put32(b, 0x4C, 0);          // FAT in sector 0
    for (int i = 1; i < 109; ++i) {
        put32(b, 0x4C + 4 * i, 0xFFFFFFFF);
    }
    // FAT: sector 0 is the FAT, sector 1 ends its chain.
    put32(b, 512, 0xFFFFFFFD);
    put32(b, 512 + 4, 0xFFFFFFFE);
    for (int i = 2; i < 128; ++i) {
        put32(b, 512 + 4 * i, 0xFFFFFFFF);
    }
    std::vector<std::string> names{"Root Entry"};
    names.insert(names.end(), streams.begin(), streams.end());
    for (std::size_t e = 0; e < names.size() && e < 4; ++e) {
        const std::size_t at = 1024 + e * 128;
        for (std::size_t i = 0; i < names[e].size(); ++i) {
            b[at + 2 * i] = names[e][i];
        }
        b[at + 0x40] = static_cast<char>((names[e].size() + 1) * 2);
        b[at + 0x42] = e == 0 ? 5 : 2;
        // The root's child is the first stream; the streams hang off one another as right
        // siblings; every stream is empty.
        put32(b, at + 0x44, 0xFFFFFFFF);
        const bool last = e + 1 == names.size() || e + 1 == 4;
        put32(b, at + 0x48, e == 0 || last ? 0xFFFFFFFF : static_cast<std::uint32_t>(e + 1));
        put32(b, at + 0x4C, e == 0 && names.size() > 1 ? 1 : 0xFFFFFFFF);
        put32(b, at + 0x74, 0xFFFFFFFE);
    }
    for (std::size_t e = names.size(); e < 4; ++e) {
        const std::size_t at = 1024 + e * 128;
        put32(b, at + 0x44, 0xFFFFFFFF);
        put32(b, at + 0x48, 0xFFFFFFFF);
        put32(b, at + 0x4C, 0xFFFFFFFF);
    }
    return b;
}

TEST(LoadWorkbook, SaysWhatAFileThatIsNoWorkbookReallyIs) {
    TempDir dir;
    const fs::path missing = dir / "没有.xlsx";
    EXPECT_EQ(loadError(missing), "文件“" + missing.string() + "”不存在");
    fs::create_directory(dir / "folder.xlsx");
    EXPECT_EQ(loadError(dir / "folder.xlsx"),
              "“" + (dir / "folder.xlsx").string() + "”是一个文件夹，不是Excel工作簿");
    writeBytes(dir / "empty.xlsx", "");
    EXPECT_EQ(loadError(dir / "empty.xlsx"),
              "文件“" + (dir / "empty.xlsx").string() + "”是空文件（0 字节），不是Excel工作簿");
    // Files of other kinds are named for what they are, in the words of describeNonWorkbook.
    const std::vector<std::pair<std::string, std::string>> others = {
        {"web.xls", "\xEF\xBB\xBF\r\n<!DOCTYPE html><html><body><table>"},
        {"table.xls", "<meta charset=utf-8><TABLE><tr><td>1</td></tr></TABLE>"},
        {"data.xlsx", "姓名,实发\n张三,100\n"},
        {"x2003.xls", "<?xml version=\"1.0\"?>\n<Workbook "
                      "xmlns=\"urn:schemas-microsoft-com:office:spreadsheet\">"},
        {"doc.xls", "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n"},
        {"biff4.xls", std::string("\x09\x04\x06\x00\x00\x00\x10\x00", 8)},
        {"bin.xls", std::string("\x01\x02\x00\x03", 4)},
    };
    for (const auto& [name, bytes] : others) {
        writeBytes(dir / name, bytes);
        const std::string described = describeNonWorkbook(dir / name);
        EXPECT_EQ(loadError(dir / name), described) << name;
    }
    EXPECT_NE(loadError(dir / "web.xls").find("HTML"), std::string::npos);
    EXPECT_NE(loadError(dir / "data.xlsx").find("CSV"), std::string::npos);
    EXPECT_NE(loadError(dir / "biff4.xls").find("Excel 4.0"), std::string::npos);
}

TEST(LoadWorkbook, TellsEncryptedWorkbooksAndOtherOfficeFilesApart) {
    TempDir dir;
    writeBytes(dir / "secret.xlsx", compoundFile({"EncryptionInfo", "EncryptedPackage"}));
    const std::string secret = loadError(dir / "secret.xlsx");
    EXPECT_NE(secret.find((dir / "secret.xlsx").string()), std::string::npos) << secret;
    EXPECT_NE(secret.find("设有打开密码"), std::string::npos) << secret;
    writeBytes(dir / "letter.xls", compoundFile({"WordDocument", "1Table"}));
    const std::string letter = loadError(dir / "letter.xls");
    EXPECT_NE(letter.find((dir / "letter.xls").string()), std::string::npos) << letter;
    EXPECT_NE(letter.find("Word 文档，不是 Excel 工作簿"), std::string::npos) << letter;
    // A compound file with a Workbook stream goes to the .xls reader, which reports its own fault.
    writeBytes(dir / "broken.xls", compoundFile({"Workbook"}));
    const std::string e = loadError(dir / "broken.xls");
    EXPECT_NE(e, "(opened)");
    EXPECT_NE(e.find("broken.xls"), std::string::npos) << e;
}

// The error of loadWorkbook(p), or a failure when it has not returned within five seconds: then a
// writer is put on the named pipe at `p` so the stuck open() returns and the test can end.
std::string loadErrorWithin(const fs::path& p) {
    auto result = std::async(std::launch::async, [p] { return loadError(p); });
    if (result.wait_for(std::chrono::seconds(5)) == std::future_status::ready) {
        return result.get();
    }
    const int fd = ::open(p.c_str(), O_WRONLY | O_NONBLOCK);
    if (fd >= 0) {
        ::close(fd);
    }
    result.wait();
    return "(still opening after 5 s)";
}

TEST(LoadWorkbook, RefusesWhatIsNotARegularFileBeforeOpeningIt) {
    TempDir dir;
    const fs::path pipe = dir / "工资表.xlsx";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_EQ(loadErrorWithin(pipe), "“" + pipe.string() +
                                         "”是一个命名管道（FIFO），不是Excel工作簿文件；"
                                         "请选择工作簿文件本身");
    // A link is followed: a link to a pipe is a pipe.
    fs::create_symlink(pipe, dir / "link.xlsx");
    EXPECT_NE(loadErrorWithin(dir / "link.xlsx").find("命名管道"), std::string::npos);

    EXPECT_EQ(loadErrorWithin("/dev/zero"),
              "“/dev/zero”是一个字符设备，不是Excel工作簿文件；请选择工作簿文件本身");

    const fs::path socketPath = dir / "sock.xls";
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(sock, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(socketPath.string().size(), sizeof address.sun_path);
    std::copy_n(socketPath.c_str(), socketPath.string().size(), address.sun_path);
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_NE(loadErrorWithin(socketPath).find("是一个套接字（socket）"), std::string::npos);
    ::close(sock);

    // A link to a regular file is read as the file.
    writeBytes(dir / "data.csv", "姓名,实发\n张三,100\n");
    fs::create_symlink(dir / "data.csv", dir / "data.xlsx");
    EXPECT_EQ(loadErrorWithin(dir / "data.xlsx"), describeNonWorkbook(dir / "data.xlsx"));
}

std::unique_ptr<Workbook> sampleBook() {
    auto book = std::make_unique<Workbook>();
    Workbook& b = *book;
    Worksheet& ws = b.addSheet("工资条");
    ws.cellForWrite(0, 0) = Cell::makeText(b.strings.intern("姓名"));
    ws.cellForWrite(1, 1) = Cell::makeNumber(3.25);
    ws.columnForWrite(1).width = 17.5;
    ws.columnForWrite(1).customWidth = true;
    return book;
}

TEST(SaveWorkbook, WritesThroughATemporaryNameAndReadsBack) {
    TempDir dir;
    const fs::path out = dir / "结果.xlsx";
    writeBytes(out, "old contents");
    saveWorkbook(*sampleBook(), out);
    EXPECT_EQ(quenly::test::entriesOf(dir.path()), std::vector<std::string>{"结果.xlsx"});
    struct stat st {};
    ASSERT_EQ(stat(out.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "a saved workbook holds pay: its owner's alone";
    auto back = loadWorkbook(out);
    const Worksheet& ws = back->sheet(0);
    EXPECT_EQ(ws.name(), "工资条");
    ASSERT_NE(ws.cell(1, 1), nullptr);
    EXPECT_EQ(ws.cell(1, 1)->number, 3.25);
    EXPECT_EQ(ws.column(1).width, 17.5);
}

TEST(SaveWorkbook, FailuresLeaveNothingBehind) {
    TempDir dir;
    const fs::path nowhere = dir / "missing" / "out.xlsx";
    try {
        saveWorkbook(*sampleBook(), nowhere);
        ADD_FAILURE() << "saved into a missing folder";
    } catch (const WorkbookError& e) {
        EXPECT_NE(std::string(e.what()).find("不存在"), std::string::npos) << e.what();
    }
    fs::create_directory(dir / "taken.xlsx");
    EXPECT_THROW(saveWorkbook(*sampleBook(), dir / "taken.xlsx"), WorkbookError);
    std::vector<std::string> expected{"taken.xlsx"};
    if (geteuid() != 0) {
        expected.insert(expected.begin(), "ro");
        fs::create_directory(dir / "ro");
        fs::permissions(dir / "ro", fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_THROW(saveWorkbook(*sampleBook(), dir / "ro" / "out.xlsx"), WorkbookError);
        fs::permissions(dir / "ro", fs::perms::owner_all);
        EXPECT_TRUE(quenly::test::entriesOf(dir / "ro").empty());
    }
    std::vector<std::string> left = quenly::test::entriesOf(dir.path());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, expected);
}

} // namespace
} // namespace quenly::wb
