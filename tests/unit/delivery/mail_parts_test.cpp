// The mail's parts without a server: header encodings, addresses, templates, settings and the
// journal on disk.
#include "mail_address.h"
#include "mail_journal.h"
#include "mail_mime.h"
#include "mail_settings.h"
#include "mail_template.h"
#include "send_settings.h"
#include "slip_run.h"

#include "error_of.h"
#include "temp_dir.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <fstream>

#include <sys/stat.h>

namespace quenly::delivery {
namespace {

namespace fs = std::filesystem;
using test::errorOf;

std::string decodeBase64(std::string_view text) {
    std::string out(text.size(), '\0');
    const int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                  reinterpret_cast<const unsigned char*>(text.data()),
                                  static_cast<int>(text.size()));
    out.resize(n < 0 ? 0 : static_cast<std::size_t>(n));
    // EVP_DecodeBlock keeps the zero bytes that padding stands for.
    for (std::size_t pad = text.size(); pad > 0 && text[pad - 1] == '='; --pad) {
        out.pop_back();
    }
    return out;
}

bool wholeUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const std::size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        if (i + n > s.size()) {
            return false;
        }
        for (std::size_t k = 1; k < n; ++k) {
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += n;
    }
    return true;
}

std::vector<std::string> splitOn(const std::string& s, const std::string& separator) {
    std::vector<std::string> parts;
    std::size_t at = 0;
    for (std::size_t next; (next = s.find(separator, at)) != std::string::npos;
         at = next + separator.size()) {
        parts.push_back(s.substr(at, next - at));
    }
    parts.push_back(s.substr(at));
    return parts;
}

TEST(MailMimeTest, EncodedWordsHoldWholeCharactersAndFitTheirLines) {
    // 40 Chinese characters (3 bytes each) and a 4-byte emoji among ASCII: several words.
    std::string subject = "2026年11月工资条：";
    for (int i = 0; i < 6; ++i) {
        subject += "张三丰的实发工资";
    }
    subject += "\xF0\x9F\x98\x80 end";
    const std::string header = mime::headerText(subject, 9);
    std::string decoded;
    const std::vector<std::string> lines = splitOn(header, "\r\n ");
    ASSERT_GT(lines.size(), 2u);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& word = lines[i];
        EXPECT_LE(word.size(), 75u) << word;
        EXPECT_LE(word.size() + (i == 0 ? 9 : 1), 78u) << word;
        ASSERT_EQ(word.rfind("=?UTF-8?B?", 0), 0u) << word;
        ASSERT_EQ(word.substr(word.size() - 2), "?=");
        const std::string bytes = decodeBase64(word.substr(10, word.size() - 12));
        EXPECT_TRUE(wholeUtf8(bytes)) << "word " << i << " splits a character";
        decoded += bytes;
    }
    EXPECT_EQ(decoded, subject);

    // Plain ASCII stays as it is; what looks like an encoded word does not.
    EXPECT_EQ(mime::headerText("Pay slip 2026-11", 9), "Pay slip 2026-11");
    EXPECT_EQ(mime::headerText("a =?x?= b", 9).rfind("=?UTF-8?B?", 0), 0u);
}

TEST(MailMimeTest, LineBreaksInACellCannotAddHeaders) {
    // A subject filled from a cell holding a line break must stay one header.
    const std::string ascii = mime::headerText("Slip\r\nBcc: other@example.com", 9);
    EXPECT_EQ(ascii, "Slip  Bcc: other@example.com");
    mime::MailParts parts;
    parts.fromAddress = "payroll@example.com";
    parts.toAddress = "zhang@example.com";
    parts.toName = "张三\nBcc: x@example.com";
    parts.subject = "工资条\r\nBcc: x@example.com";
    parts.messageId = "<id@example.com>";
    const std::string message = mime::composeMessage(parts);
    const std::string head = message.substr(0, message.find("\r\n\r\n"));
    for (const std::string& line : splitOn(head, "\r\n")) {
        EXPECT_NE(line.rfind("Bcc", 0), 0u) << line;
    }
}

TEST(MailMimeTest, ChineseFileNameIsEncodedBothWays) {
    const std::string name = "张三丰-2026年11月工资条（财务部/第一组）.pdf";
    const std::string params = mime::fileNameParameters(name);
    // RFC 2231 pieces, each on a line of its own, never cutting a %XX apart.
    std::string joined;
    int piece = 0;
    for (const std::string& line : splitOn(params, ";\r\n ")) {
        if (line.empty()) {
            continue;
        }
        const std::string tag = "filename*" + std::to_string(piece) + "*=";
        if (line.rfind(tag, 0) == 0) {
            const std::string value = line.substr(tag.size());
            EXPECT_LE(line.size(), 76u);
            const std::size_t percent = value.rfind('%');
            EXPECT_TRUE(percent == std::string::npos || percent + 3 <= value.size()) << value;
            joined += value;
            ++piece;
        } else {
            EXPECT_EQ(line.rfind("filename=\"=?UTF-8?B?", 0), 0u) << line;
        }
    }
    ASSERT_GT(piece, 1);
    ASSERT_EQ(joined.rfind("UTF-8''", 0), 0u);
    std::string decoded;
    for (std::size_t i = 7; i < joined.size(); ++i) {
        if (joined[i] == '%') {
            decoded.push_back(static_cast<char>(std::stoi(joined.substr(i + 1, 2), nullptr, 16)));
            i += 2;
        } else {
            decoded.push_back(joined[i]);
        }
    }
    EXPECT_EQ(decoded, name);
    EXPECT_EQ(joined.find('/'), std::string::npos);
}

TEST(MailMimeTest, MessageHoldsBodyAndAttachmentInBase64Lines) {
    mime::MailParts parts;
    parts.fromName = "财务部";
    parts.fromAddress = "payroll@corp.example.com";
    parts.toName = "Li \"Si\"";
    parts.toAddress = "li.si@example.com";
    parts.subject = "工资条";
    parts.body = "您好：\n本月工资条见附件。\n";
    parts.attachmentName = "李四.pdf";
    parts.attachment = std::string(1000, '\x9c') + "%PDF";
    parts.messageId = mime::newMessageId(parts.fromAddress);
    const std::string message = mime::composeMessage(parts);
    EXPECT_NE(message.find("From: =?UTF-8?B?"), std::string::npos);
    EXPECT_NE(message.find("To: \"Li \\\"Si\\\"\" <li.si@example.com>\r\n"), std::string::npos);
    EXPECT_NE(message.find("MIME-Version: 1.0\r\n"), std::string::npos);
    EXPECT_NE(message.find("Content-Type: application/pdf"), std::string::npos);
    EXPECT_EQ(parts.messageId.find("@corp.example.com>"), parts.messageId.size() - 18);
    EXPECT_NE(mime::newMessageId(parts.fromAddress), parts.messageId);
    // Every line ends in CR LF and none is longer than 78 characters.
    for (const std::string& line : splitOn(message, "\r\n")) {
        EXPECT_LE(line.size(), 78u) << line;
        EXPECT_EQ(line.find('\n'), std::string::npos);
    }
    // The attachment decodes back from its 76-character lines.
    const std::size_t start = message.find("\r\n\r\n", message.find("application/pdf")) + 4;
    const std::size_t end = message.find("\r\n--=_quenly_", start);
    std::string base64;
    for (const std::string& line : splitOn(message.substr(start, end - start), "\r\n")) {
        EXPECT_TRUE(line.size() == 76 || base64.size() + line.size() >= 1340) << line.size();
        base64 += line;
    }
    EXPECT_EQ(decodeBase64(base64), parts.attachment);
}

TEST(MailAddressTest, OneAddressOfValidFormPerCell) {
    for (const char* good : {"zhang.san@example.com", "a+b@mail.corp-x.cn", "x_1@a.b.co"}) {
        EXPECT_EQ(addressProblem(good), std::nullopt) << good;
    }
    const std::pair<const char*, const char*> bad[] = {
        {"", "没有填写"},
        {"zhang.example.com", "缺少“@”"},
        {"a@b.com; c@d.com", "不止一个"},
        {"a@b.com，c@d.com", "不止一个"},
        {"a@b@c.com", "不止一个"},
        {"zhang san@example.com", "空白"},
        {"zhang@example", "没有“.”"},
        {"zhang@example..com", "写法不对"},
        {"zhang@-example.com", "开头或结尾"},
        {"@example.com", "前面没有"},
        {"zhang@", "后面没有"},
        {".zhang@example.com", "位置不对"},
        {"张三@example.com", "非 ASCII"},
        {"zhang＠example.com", "全角"},
    };
    for (const auto& [address, problem] : bad) {
        const auto found = addressProblem(address);
        ASSERT_TRUE(found.has_value()) << address;
        EXPECT_NE(found->find(problem), std::string::npos) << address << ": " << *found;
    }
    // A column of amounts given for the addresses never shows them.
    for (const char* amount :
         {"8249", "9,200.50", "-1,200.5", "\u00A5 300", "\uFFE5300.00", "12%"}) {
        EXPECT_EQ(addressForDisplay(amount), "（数字，已隐去）") << amount;
    }
    for (const char* cell : {"", "zhao.liu example.com", "a1@b.cn", "E001"}) {
        EXPECT_EQ(addressForDisplay(cell), cell);
    }
    for (const char* host : {"127.0.0.1", "127.9.8.7", "::1", "[::1]", "LocalHost"}) {
        EXPECT_TRUE(isLoopback(host)) << host;
    }
    for (const char* host : {"128.0.0.1", "127.0.0.1.example.com", "mail.example.com", "::2"}) {
        EXPECT_FALSE(isLoopback(host)) << host;
    }
}

TEST(MailTemplateTest, PlaceholdersByTitleAndLiteralBraces) {
    const std::vector<std::pair<std::uint32_t, std::string>> titles{
        {0, "姓名"}, {3, "实发工资"}, {5, "姓名"}};
    const MailTemplate t =
        MailTemplate::parse("{{{姓名}}}，您 11 月的实发工资为 { 实发工资 } 元。", "主题", titles);
    const std::string filled = t.fill([](std::uint32_t column) {
        return column == 0 ? std::string("张三") : "[" + std::to_string(column) + "]";
    });
    // The first of equal titles counts.
    EXPECT_EQ(filled, "{张三}，您 11 月的实发工资为 [3] 元。");

    const std::string unknown =
        errorOf<DeliveryError>([&] { MailTemplate::parse("{姓名}的{奖金}", "主题", titles); });
    EXPECT_NE(unknown.find("主题中的占位符“{奖金}”"), std::string::npos) << unknown;
    EXPECT_NE(unknown.find("姓名、实发工资"), std::string::npos) << unknown;
    EXPECT_NE(errorOf<DeliveryError>([&] {
                  MailTemplate::parse("a {姓名", "正文", titles);
              }).find("没有对应的“}”"),
              std::string::npos);
    EXPECT_NE(errorOf<DeliveryError>([&] {
                  MailTemplate::parse("a } b", "正文", titles);
              }).find("单独的“}”"),
              std::string::npos);
}

void writeFile(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

TEST(MailSettingsTest, ReadsTheFileAndNamesEveryBadValue) {
    test::TempDir dir;
    fs::create_directories(dir / "mail");
    writeFile(dir / "mail" / "正文.txt", "\xEF\xBB\xBF{姓名}，您好");
    const std::string good =
        "[smtp]\r\nhost = smtp.example.com\r\nport = 465\r\nsecurity = ssl\r\n"
        "user = payroll@example.com\r\n[mail]\r\nfrom = payroll@example.com\r\n"
        "from_name = 财务部\r\nsubject = {姓名}的工资条\r\nbody_file = 正文.txt\r\n";
    writeFile(dir / "mail" / "settings.ini", good);
    const MailSettings s = readMailSettings(dir / "mail" / "settings.ini");
    EXPECT_EQ(s.host, "smtp.example.com");
    EXPECT_EQ(s.port, 465);
    EXPECT_EQ(s.security, Security::Ssl);
    EXPECT_EQ(s.fromName, "财务部");
    EXPECT_EQ(s.body, "{姓名}，您好"); // relative to the settings' folder, without the BOM

    auto errorWith = [&](const std::string& from, const std::string& to) {
        std::string text = good;
        text.replace(text.find(from), from.size(), to);
        writeFile(dir / "bad.ini", text);
        writeFile(dir / "正文.txt", "x");
        return errorOf<DeliveryError>([&] { readMailSettings(dir / "bad.ini"); });
    };
    const std::string missing = errorWith("host = smtp.example.com\r\n", "");
    EXPECT_NE(missing.find("bad.ini"), std::string::npos) << missing;
    EXPECT_NE(missing.find("[smtp] 的 host 没有写"), std::string::npos) << missing;
    EXPECT_NE(missing.find("host = smtp.example.com"), std::string::npos) << missing;
    EXPECT_NE(errorWith("port = 465", "port = 70000").find("[smtp] 的 port"), std::string::npos);
    EXPECT_NE(errorWith("port = 465", "port = 46x").find("1 到 65535"), std::string::npos);
    EXPECT_NE(errorWith("security = ssl", "security = tls").find("ssl（通常端口 465）"),
              std::string::npos);
    // No encryption only to this machine.
    EXPECT_NE(errorWith("security = ssl", "security = none").find("只允许连接本机"),
              std::string::npos);
    EXPECT_NE(errorWith("from = payroll@example.com", "from = payroll").find("[mail] 的 from"),
              std::string::npos);
    EXPECT_NE(errorWith("正文.txt", "没有.txt").find("[mail] 的 body_file"), std::string::npos);
    writeFile(dir / "gbk.ini", "[smtp]\r\nhost = \xD5\xC5\r\n");
    EXPECT_NE(errorOf<DeliveryError>([&] { readMailSettings(dir / "gbk.ini"); }).find("UTF-8"),
              std::string::npos);
}

class MailJournalTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("XDG_STATE_HOME");
        m_old = old != nullptr ? std::optional<std::string>(old) : std::nullopt;
        setenv("XDG_STATE_HOME", (m_dir.path() / "state").c_str(), 1);
        fs::create_directories(m_dir / "tables");
        writeFile(m_dir / "tables" / "工资表.xlsx", "table");
    }
    void TearDown() override {
        if (m_old) {
            setenv("XDG_STATE_HOME", m_old->c_str(), 1);
        } else {
            unsetenv("XDG_STATE_HOME");
        }
    }
    fs::path table() const { return m_dir / "tables" / "工资表.xlsx"; }
    static JournalEntry entry(const std::string& address, std::uint32_t row) {
        return JournalEntry{address, std::string(64, 'a'), "<m" + std::to_string(row) + "@x.com>",
                            1700000000, row};
    }

    test::TempDir m_dir;
    std::optional<std::string> m_old;
};

TEST_F(MailJournalTest, RecordsSurviveAndAFreshRunIsRefused) {
    fs::path path;
    {
        MailJournal journal(table(), MailJournal::Mode::Fresh);
        path = journal.path();
        EXPECT_EQ(path.parent_path(), m_dir.path() / "state" / "quenly");
        journal.record(entry("Zhang@Example.com", 3));
        journal.record(entry("li@example.com", 4));
        // Another run on the same table meanwhile is refused.
        EXPECT_NE(errorOf<DeliveryError>([&] {
                      MailJournal(table(), MailJournal::Mode::Resume);
                  }).find("另一个发送任务"),
                  std::string::npos);
    }
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(path.parent_path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // The same table by another spelling of its path.
    const fs::path other = m_dir / "tables" / ".." / "tables" / "工资表.xlsx";
    try {
        MailJournal again(other, MailJournal::Mode::Fresh);
        FAIL() << "a fresh run over a journal with entries must be refused";
    } catch (const JournalInUse& e) {
        EXPECT_EQ(e.entries(), 2u);
        EXPECT_EQ(e.path(), path);
    }
    MailJournal resumed(other, MailJournal::Mode::Resume);
    EXPECT_TRUE(resumed.sentTo("zhang@example.COM"));
    EXPECT_TRUE(resumed.sentTo("li@example.com"));
    EXPECT_FALSE(resumed.sentTo("wang@example.com"));
}

TEST_F(MailJournalTest, ALineCutByACrashIsIgnoredAndEnded) {
    fs::path path;
    {
        MailJournal journal(table(), MailJournal::Mode::Fresh);
        journal.record(entry("zhang@example.com", 3));
        path = journal.path();
    }
    std::ofstream(path, std::ios::app) << "sent\twang@example.com\tabc";
    {
        MailJournal journal(table(), MailJournal::Mode::Resume);
        EXPECT_EQ(journal.entries(), 1u);
        EXPECT_FALSE(journal.sentTo("wang@example.com"));
        journal.record(entry("li@example.com", 4));
    }
    MailJournal journal(table(), MailJournal::Mode::Resume);
    EXPECT_EQ(journal.entries(), 2u);
    EXPECT_TRUE(journal.sentTo("li@example.com"));
    // Never an amount: the entry holds the address, hash, Message-ID, time and row.
    std::ifstream in(path);
    std::string line;
    std::string last;
    while (std::getline(in, line)) {
        last = line;
    }
    EXPECT_EQ(last, "sent\tli@example.com\t" + std::string(64, 'a') +
                        "\t<m4@x.com>\t2023-11-14T22:13:20Z\t4");
}

TEST_F(MailJournalTest, NewRunKeepsTheOldJournal) {
    fs::path path;
    {
        MailJournal journal(table(), MailJournal::Mode::Fresh);
        journal.record(entry("zhang@example.com", 3));
        path = journal.path();
    }
    MailJournal next(table(), MailJournal::Mode::NewRun);
    EXPECT_EQ(next.path(), path);
    EXPECT_EQ(next.entries(), 0u);
    EXPECT_FALSE(next.sentTo("zhang@example.com"));
    ASSERT_FALSE(next.keptAs().empty());
    EXPECT_EQ(next.keptAs().parent_path(), path.parent_path());
    std::ifstream kept(next.keptAs());
    const std::string text((std::istreambuf_iterator<char>(kept)),
                           std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("sent\tzhang@example.com\t"), std::string::npos);
}

TEST(SendSettingsTest, SavedSettingsReadBackAndServeTheBatchCommand) {
    test::TempDir dir;
    SendSettings s = defaultSendSettings();
    s.mail.host = "smtp.example.com";
    s.mail.port = 587;
    s.mail.security = Security::StartTls;
    s.mail.user = "payroll@example.com";
    s.mail.from = "payroll@example.com";
    s.mail.fromName = "财务部";
    s.mail.subject = "{姓名}的\n工资条"; // a line break cannot add a key
    s.mail.body = "{姓名}，您好：\n\n附件是您的工资条。\n";
    s.toColumn = "邮箱";
    s.nameColumn = "B";
    s.passwordColumn = "身份证号";
    s.passwordLast = 6;
    writeFile(dir / "send.ini", "; kept\r\n[other]\r\nkey = 1\r\n");
    saveSendSettings(s, dir / "send.ini");

    const SendSettings back = loadSendSettings(dir / "send.ini");
    EXPECT_EQ(back.mail.host, "smtp.example.com");
    EXPECT_EQ(back.mail.port, 587);
    EXPECT_EQ(back.mail.security, Security::StartTls);
    EXPECT_EQ(back.mail.fromName, "财务部");
    EXPECT_EQ(back.mail.subject, "{姓名}的 工资条");
    EXPECT_EQ(back.mail.body, s.mail.body);
    EXPECT_EQ(back.toColumn, "邮箱");
    EXPECT_EQ(back.nameColumn, "B");
    EXPECT_EQ(back.passwordColumn, "身份证号");
    EXPECT_EQ(back.passwordLast, 6);
    // The same file is what quenly-batch --mail reads.
    const MailSettings batch = readMailSettings(dir / "send.ini");
    EXPECT_EQ(batch.body, s.mail.body);
    EXPECT_EQ(batch.bodyFile, sendBodyFile(dir / "send.ini"));
    const std::string text = *readWholeFile(dir / "send.ini");
    EXPECT_EQ(text.rfind("; kept\r\n[other]\r\nkey = 1\r\n", 0), 0u) << text;
    // Settings name the mail server and the sender: the owner's alone.
    for (const fs::path& file : {dir / "send.ini", sendBodyFile(dir / "send.ini")}) {
        struct stat st {};
        ASSERT_EQ(::stat(file.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u) << file;
    }
}

TEST(SendSettingsTest, MissingOrBadValuesGiveTheDefaults) {
    test::TempDir dir;
    const SendSettings none = loadSendSettings(dir / "none.ini");
    EXPECT_EQ(none.mail.port, 465);
    EXPECT_EQ(none.mail.security, Security::Ssl);
    EXPECT_EQ(none.mail.subject, defaultSendSettings().mail.subject);
    writeFile(dir / "bad.ini", "[smtp]\nhost = mail.example.com\nport = 70000\nsecurity = tls\n"
                               "[columns]\npassword_last = -2\n");
    const SendSettings bad = loadSendSettings(dir / "bad.ini");
    EXPECT_EQ(bad.mail.host, "mail.example.com");
    EXPECT_EQ(bad.mail.port, 465);
    EXPECT_EQ(bad.mail.security, Security::Ssl);
    EXPECT_EQ(bad.passwordLast, 0);
}

TEST(SendSettingsTest, ProblemsNameTheFieldToFill) {
    MailSettings s = defaultSendSettings().mail;
    s.host = "smtp.example.com";
    s.user = "payroll@example.com";
    s.from = "payroll@example.com";
    EXPECT_FALSE(mailSettingsProblem(s).has_value());
    const auto fieldOf = [](MailSettings m) {
        const auto problem = mailSettingsProblem(m);
        return problem ? std::optional<MailField>(problem->field) : std::nullopt;
    };
    MailSettings m = s;
    m.host = " \xE3\x80\x80";
    EXPECT_EQ(fieldOf(m), MailField::Host);
    m = s;
    m.security = Security::None;
    EXPECT_EQ(fieldOf(m), MailField::Security);
    m.host = "127.0.0.1";
    m.user.clear();
    EXPECT_FALSE(fieldOf(m).has_value()); // this machine, no login
    m = s;
    m.user.clear();
    EXPECT_EQ(fieldOf(m), MailField::User);
    m = s;
    m.from = "payroll@example";
    EXPECT_EQ(fieldOf(m), MailField::From);
    EXPECT_NE(mailSettingsProblem(m)->text.find("payroll@example"), std::string::npos);
    m = s;
    m.subject.clear();
    EXPECT_EQ(fieldOf(m), MailField::Subject);
}

} // namespace
} // namespace quenly::delivery
