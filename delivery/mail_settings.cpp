// The mail settings of a run, read from SETTINGS.ini.
#include "mail_settings.h"

#include "delivery_error.h"
#include "ini_file.h"
#include "mail_address.h"

#include <charconv>
#include <fstream>
#include <iterator>
#include <optional>

namespace quenly::delivery {

namespace fs = std::filesystem;

std::optional<std::string> readWholeFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        return std::nullopt;
    }
    return text;
}

namespace {

bool validUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t n = 0;
        if (c < 0x80) {
            n = 0;
        } else if (c >= 0xC2 && c <= 0xDF) {
            n = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            n = 2;
        } else if (c >= 0xF0 && c <= 0xF4) {
            n = 3;
        } else {
            return false;
        }
        if (i + n >= s.size()) {
            return false;
        }
        for (std::size_t k = 1; k <= n; ++k) {
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += n + 1;
    }
    return true;
}

std::string withoutBom(std::string text) {
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) {
        text.erase(0, 3);
    }
    return text;
}

class SettingsReader {
public:
    SettingsReader(fs::path file, IniFile ini)
        : m_file(std::move(file))
        , m_ini(std::move(ini)) {}

    [[noreturn]] void fail(std::string_view section, std::string_view key,
                           const std::string& what) const {
        throw DeliveryError("邮件设置“" + m_file.string() + "”中 [" + std::string(section) +
                            "] 的 " + std::string(key) + " " + what);
    }

    // The value, or "" when `optional` and missing; a missing required key is an error that
    // says what to write.
    std::string get(std::string_view section, std::string_view key, std::string_view example,
                    bool optional = false) const {
        const std::optional<std::string> v = m_ini.value(section, key);
        if ((!v || v->empty()) && !optional) {
            fail(section, key,
                 std::string(v ? "是空的" : "没有写") + "；请在 [" + std::string(section) +
                     "] 下写一行，如：" + std::string(key) + " = " + std::string(example));
        }
        return v.value_or("");
    }

private:
    fs::path m_file;
    IniFile m_ini;
};

} // namespace

MailSettings readMailSettings(const fs::path& file) {
    const std::optional<std::string> content = readWholeFile(file);
    if (!content) {
        throw DeliveryError("无法读取邮件设置“" + file.string() +
                            "”；请检查文件是否存在、是否可读");
    }
    if (!validUtf8(*content)) {
        throw DeliveryError("邮件设置“" + file.string() + "”不是 UTF-8 文本；请用 UTF-8 编码保存");
    }
    const SettingsReader r(file, IniFile::parse(*content));
    MailSettings s;
    s.file = file;
    s.host = r.get("smtp", "host", "smtp.example.com");

    const std::string security = r.get("smtp", "security", "starttls");
    if (security == "ssl") {
        s.security = Security::Ssl;
    } else if (security == "starttls") {
        s.security = Security::StartTls;
    } else if (security == "none") {
        s.security = Security::None;
        if (!isLoopback(s.host)) {
            r.fail(
                "smtp", "security",
                "是 none（不加密），这只允许连接本机（127.0.0.1、::1 或 localhost），而 host 是“" +
                    s.host + "”；请写 ssl 或 starttls");
        }
    } else {
        r.fail("smtp", "security",
               "是“" + security +
                   "”；请写 ssl（通常端口 465）、starttls（通常端口 587）或 none（仅限本机）");
    }

    const std::string port = r.get("smtp", "port", s.security == Security::Ssl ? "465" : "587");
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
    if (ec != std::errc() || end != port.data() + port.size() || value < 1 || value > 65535) {
        r.fail("smtp", "port", "是“" + port + "”；请写 1 到 65535 之间的端口号，如 465 或 587");
    }
    s.port = static_cast<std::uint16_t>(value);

    s.user = r.get("smtp", "user", "payroll@example.com", s.security == Security::None);

    s.from = r.get("mail", "from", "payroll@example.com");
    if (const auto problem = addressProblem(s.from)) {
        r.fail("mail", "from", "“" + s.from + "”不是有效的发件地址：" + *problem);
    }
    s.fromName = r.get("mail", "from_name", "", true);
    s.subject = r.get("mail", "subject", "{姓名}的工资条");

    const std::string body = r.get("mail", "body_file", "正文.txt");
    s.bodyFile = fs::path(body).is_absolute() ? fs::path(body) : file.parent_path() / body;
    const std::optional<std::string> text = readWholeFile(s.bodyFile);
    if (!text) {
        r.fail("mail", "body_file",
               "指向的正文文件“" + s.bodyFile.string() +
                   "”无法读取；请检查文件名（相对于设置文件所在的文件夹）");
    }
    if (!validUtf8(*text)) {
        r.fail("mail", "body_file",
               "指向的正文文件“" + s.bodyFile.string() + "”不是 UTF-8 文本；请用 UTF-8 编码保存");
    }
    s.body = withoutBom(*text);
    return s;
}

} // namespace quenly::delivery
