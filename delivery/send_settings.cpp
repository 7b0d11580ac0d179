// The sending window's settings: read leniently, written whole, checked before use.
#include "send_settings.h"

#include "delivery_error.h"
#include "ini_file.h"
#include "mail_address.h"
#include "slip_run.h"
#include "whole_file.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace quenly::delivery {

namespace fs = std::filesystem;

namespace {

std::string securityName(Security security) {
    switch (security) {
    case Security::Ssl:
        return "ssl";
    case Security::StartTls:
        return "starttls";
    case Security::None:
        break;
    }
    return "none";
}

// A one-line INI value: line breaks and other control characters become spaces.
std::string oneLine(std::string text) {
    std::replace_if(
        text.begin(), text.end(),
        [](char c) { return static_cast<unsigned char>(c) < 0x20 && c != '\t'; }, ' ');
    return text;
}

void writeWhole(const fs::path& target, const std::string& bytes) {
    files::WholeFile file(target, files::WholeFile::kPrivate);
    int error = file.error();
    if (error == 0) {
        error = file.write(bytes.data(), bytes.size());
    }
    if (error == 0) {
        error = file.commit();
    }
    if (error != 0) {
        throw DeliveryError("无法保存发送设置“" + target.string() + "”：" + std::strerror(error));
    }
}

} // namespace

SendSettings defaultSendSettings() {
    SendSettings s;
    s.mail.port = 465;
    s.mail.security = Security::Ssl;
    s.mail.subject = "{姓名}的工资条";
    s.mail.body = "{姓名}，您好：\n\n附件是您的工资条，请查收。如有疑问，请回复本邮件。\n";
    s.toColumn = "邮箱";
    s.nameColumn = "姓名";
    return s;
}

fs::path sendBodyFile(const fs::path& file) {
    return file.parent_path() / (file.stem().string() + "-body.txt");
}

SendSettings loadSendSettings(const fs::path& file) {
    SendSettings s = defaultSendSettings();
    const std::optional<std::string> content = readWholeFile(file);
    if (!content) {
        return s;
    }
    const IniFile ini = IniFile::parse(*content);
    const auto read = [&](std::string_view section, std::string_view key, std::string& into) {
        if (const auto v = ini.value(section, key)) {
            into = *v;
        }
    };
    read("smtp", "host", s.mail.host);
    read("smtp", "user", s.mail.user);
    read("mail", "from", s.mail.from);
    read("mail", "from_name", s.mail.fromName);
    read("mail", "subject", s.mail.subject);
    read("columns", "to", s.toColumn);
    read("columns", "name", s.nameColumn);
    read("columns", "password", s.passwordColumn);
    const std::string security = ini.value("smtp", "security").value_or("");
    if (security == "ssl" || security == "starttls" || security == "none") {
        s.mail.security = security == "ssl"        ? Security::Ssl
                          : security == "starttls" ? Security::StartTls
                                                   : Security::None;
    }
    const auto number = [&](std::string_view section, std::string_view key, int low, int high,
                            auto& into) {
        const std::string text = ini.value(section, key).value_or("");
        int value = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (ec == std::errc() && end == text.data() + text.size() && value >= low &&
            value <= high) {
            into = static_cast<std::remove_reference_t<decltype(into)>>(value);
        }
    };
    number("smtp", "port", 1, 65535, s.mail.port);
    number("columns", "password_last", 0, 99, s.passwordLast);
    if (const std::optional<std::string> body = readWholeFile(sendBodyFile(file))) {
        s.mail.body = *body;
        if (s.mail.body.rfind("\xEF\xBB\xBF", 0) == 0) {
            s.mail.body.erase(0, 3);
        }
    }
    return s;
}

void saveSendSettings(const SendSettings& settings, const fs::path& file) {
    IniFile ini;
    if (const std::optional<std::string> content = readWholeFile(file)) {
        ini = IniFile::parse(*content);
    }
    const MailSettings& m = settings.mail;
    ini.set("smtp", "host", oneLine(m.host));
    ini.set("smtp", "port", std::to_string(m.port));
    ini.set("smtp", "security", securityName(m.security));
    ini.set("smtp", "user", oneLine(m.user));
    ini.set("mail", "from", oneLine(m.from));
    ini.set("mail", "from_name", oneLine(m.fromName));
    ini.set("mail", "subject", oneLine(m.subject));
    ini.set("mail", "body_file", sendBodyFile(file).filename().string());
    ini.set("columns", "to", oneLine(settings.toColumn));
    ini.set("columns", "name", oneLine(settings.nameColumn));
    ini.set("columns", "password", oneLine(settings.passwordColumn));
    ini.set("columns", "password_last", std::to_string(settings.passwordLast));
    // The body first: a settings file never names a body file that is not there.
    writeWhole(sendBodyFile(file), m.body);
    writeWhole(file, ini.text());
}

std::optional<MailSettingsProblem> mailSettingsProblem(const MailSettings& s) {
    if (trimBlanks(s.host).empty()) {
        return MailSettingsProblem{MailField::Host,
                                   "请填写邮件服务器（SMTP）的地址，如 smtp.example.com"};
    }
    if (s.security == Security::None && !isLoopback(s.host)) {
        return MailSettingsProblem{
            MailField::Security,
            "“不加密”只能连接本机（127.0.0.1、::1 或 localhost），而服务器是“" + s.host +
                "”；请选择 SSL/TLS（通常端口 465）或 STARTTLS（通常端口 587）"};
    }
    if (s.security != Security::None && s.user.empty()) {
        return MailSettingsProblem{MailField::User,
                                   "请填写登录邮件服务器的用户名（通常就是发件地址）"};
    }
    if (s.from.empty()) {
        return MailSettingsProblem{MailField::From, "请填写发件人地址，如 payroll@example.com"};
    }
    if (const auto problem = addressProblem(s.from)) {
        return MailSettingsProblem{MailField::From, "发件人地址“" + s.from + "”无效：" + *problem};
    }
    if (s.subject.empty()) {
        return MailSettingsProblem{MailField::Subject, "请填写邮件主题，如 {姓名}的工资条"};
    }
    return std::nullopt;
}

} // namespace quenly::delivery
