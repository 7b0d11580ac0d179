// One connection to an SMTP server over libcurl.
#include "smtp_session.h"

#include "delivery_error.h"

#include <curl/curl.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>

namespace quenly::delivery {

namespace {

// libcurl's global set-up, once per process (it is not thread-safe itself).
void initCurl() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::string hostInUrl(const std::string& host) {
    // An IPv6 address goes in brackets.
    return host.find(':') != std::string::npos && host.front() != '[' ? "[" + host + "]" : host;
}

} // namespace

struct SmtpSession::Handle {
    CURL* curl = nullptr;
    curl_slist* recipients = nullptr;
    std::array<char, CURL_ERROR_SIZE> error{};
    std::string_view upload;
    std::size_t uploaded = 0;
    std::string from;
    std::string password;
    // After a failed transfer the next one starts on a new connection: a server that answered
    // out of turn (or broke off a transaction) may be out of step on the old one.
    bool freshConnection = false;

    ~Handle() {
        curl_slist_free_all(recipients);
        if (curl != nullptr) {
            curl_easy_cleanup(curl);
        }
        // The password leaves no copy in freed memory.
        std::fill(password.begin(), password.end(), '\0');
    }

    static std::size_t read(char* buffer, std::size_t size, std::size_t count, void* self) {
        auto* h = static_cast<Handle*>(self);
        const std::size_t n = std::min(size * count, h->upload.size() - h->uploaded);
        std::memcpy(buffer, h->upload.data() + h->uploaded, n);
        h->uploaded += n;
        return n;
    }

    static std::size_t discard(char*, std::size_t size, std::size_t count, void*) {
        return size * count;
    }
};

SmtpSession::SmtpSession(const MailSettings& settings, std::string password, std::string caFile)
    : m_handle(std::make_unique<Handle>()) {
    initCurl();
    Handle& h = *m_handle;
    h.curl = curl_easy_init();
    if (h.curl == nullptr) {
        throw DeliveryError("无法启动邮件发送（libcurl 初始化失败）");
    }
    h.from = "<" + settings.from + ">";
    h.password = std::move(password);
    const std::string scheme = settings.security == Security::Ssl ? "smtps://" : "smtp://";
    // The path is the name the client greets with.
    const std::string url = scheme + hostInUrl(settings.host) + ":" +
                            std::to_string(settings.port) + "/quenly.localdomain";
    CURL* c = h.curl;
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, h.error.data());
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, 30L);
    // A server that stops answering for a minute counts as a lost connection.
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, 60L);
    if (settings.security == Security::StartTls) {
        curl_easy_setopt(c, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
    }
    // Certificate and host name are always checked; there is no switch to turn that off.
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(c, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
    if (!caFile.empty()) {
        curl_easy_setopt(c, CURLOPT_CAINFO, caFile.c_str());
    }
    if (!settings.user.empty()) {
        curl_easy_setopt(c, CURLOPT_USERNAME, settings.user.c_str());
        curl_easy_setopt(c, CURLOPT_PASSWORD, h.password.c_str());
    }
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &Handle::discard);
    curl_easy_setopt(c, CURLOPT_READFUNCTION, &Handle::read);
    curl_easy_setopt(c, CURLOPT_READDATA, &h);
}

SmtpSession::~SmtpSession() = default;

SmtpResult SmtpSession::perform() {
    Handle& h = *m_handle;
    h.error[0] = '\0';
    curl_easy_setopt(h.curl, CURLOPT_FRESH_CONNECT, h.freshConnection ? 1L : 0L);
    const CURLcode rc = curl_easy_perform(h.curl);
    h.freshConnection = rc != CURLE_OK;
    long code = 0;
    curl_easy_getinfo(h.curl, CURLINFO_RESPONSE_CODE, &code);
    SmtpResult r;
    r.code = code;
    if (rc == CURLE_OK) {
        return r;
    }
    const std::string detail = h.error[0] != '\0' ? h.error.data() : curl_easy_strerror(rc);
    switch (rc) {
    case CURLE_LOGIN_DENIED:
        r.kind = SmtpResult::Kind::LoginDenied;
        r.reason = "邮件服务器拒绝了登录（用户名或密码不对）：" + detail;
        return r;
    case CURLE_PEER_FAILED_VERIFICATION:
        r.kind = SmtpResult::Kind::Tls;
        r.reason =
            "邮件服务器的证书未通过验证（证书不是给这个主机名的，或不是受信任的机构签发的）；"
            "若公司使用自己的证书机构，请指定其证书（quenly-batch 用 --cafile；发送工资条窗口"
            "需把它加入本机信任的证书）：" +
            detail;
        return r;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
        r.kind = SmtpResult::Kind::Tls;
        r.reason = "与邮件服务器建立加密连接失败：" + detail;
        return r;
    case CURLE_USE_SSL_FAILED:
        r.kind = SmtpResult::Kind::Fatal;
        r.reason = "邮件服务器不支持 STARTTLS 加密；请改用 security = ssl，或换一个端口：" + detail;
        return r;
    case CURLE_COULDNT_RESOLVE_HOST:
        r.kind = SmtpResult::Kind::Fatal;
        r.reason = "找不到邮件服务器（请检查 host）：" + detail;
        return r;
    default:
        break;
    }
    if (code >= 500 && code < 600) {
        r.kind = SmtpResult::Kind::Refused;
        r.reason = "邮件服务器拒绝（" + std::to_string(code) + "）：" + detail;
    } else if (code >= 400 && code < 500 && rc != CURLE_COULDNT_CONNECT) {
        r.kind = SmtpResult::Kind::Deferred;
        r.reason = "邮件服务器暂时拒绝（" + std::to_string(code) + "）：" + detail;
    } else {
        r.kind = SmtpResult::Kind::ConnectionLost;
        r.reason = "与邮件服务器的连接失败或中断：" + detail;
    }
    return r;
}

SmtpResult SmtpSession::testConnection() {
    Handle& h = *m_handle;
    curl_easy_setopt(h.curl, CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(h.curl, CURLOPT_MAIL_RCPT, nullptr);
    curl_easy_setopt(h.curl, CURLOPT_CUSTOMREQUEST, "NOOP");
    SmtpResult r = perform();
    curl_easy_setopt(h.curl, CURLOPT_CUSTOMREQUEST, nullptr);
    return r;
}

SmtpResult SmtpSession::send(std::string_view to, std::string_view message) {
    Handle& h = *m_handle;
    curl_slist_free_all(h.recipients);
    h.recipients = nullptr;
    h.recipients = curl_slist_append(nullptr, ("<" + std::string(to) + ">").c_str());
    if (h.recipients == nullptr) {
        throw DeliveryError("内存不足");
    }
    h.upload = message;
    h.uploaded = 0;
    curl_easy_setopt(h.curl, CURLOPT_MAIL_FROM, h.from.c_str());
    curl_easy_setopt(h.curl, CURLOPT_MAIL_RCPT, h.recipients);
    curl_easy_setopt(h.curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(h.curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(message.size()));
    SmtpResult r = perform();
    h.upload = {};
    return r;
}

} // namespace quenly::delivery
