// The journal of a mail run, kept durably per source table.
#include "mail_journal.h"

#include "delivery_error.h"
#include "text_util.h"
#include "whole_file.h"

#include <openssl/evp.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quenly::delivery {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kEntryTag = "sent\t";

std::string utcText(std::time_t when, const char* format) {
    std::tm tm{};
    gmtime_r(&when, &tm);
    std::array<char, 32> buffer{};
    std::strftime(buffer.data(), buffer.size(), format, &tm);
    return buffer.data();
}

// The addresses of the entries in a journal's text. Only whole lines count: a line a crash cut
// short was never confirmed by its flush.
std::set<std::string> addressesIn(std::string_view content) {
    std::set<std::string> sent;
    std::size_t start = 0;
    for (std::size_t end; (end = content.find('\n', start)) != std::string_view::npos;
         start = end + 1) {
        const std::string_view line = content.substr(start, end - start);
        if (line.substr(0, kEntryTag.size()) == kEntryTag) {
            const std::string_view rest = line.substr(kEntryTag.size());
            sent.insert(wb::lowerAscii(rest.substr(0, rest.find('\t'))));
        }
    }
    return sent;
}

[[noreturn]] void fail(const std::string& what, const fs::path& path, int error) {
    throw DeliveryError(what + "“" + path.string() + "”：" + std::strerror(error));
}

void syncFolder(const fs::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

JournalInUse::JournalInUse(fs::path path, std::size_t entries)
    : std::runtime_error("发送记录中已有 " + std::to_string(entries) + " 人")
    , m_path(std::move(path))
    , m_entries(entries) {}

fs::path MailJournal::folder() {
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && state[0] == '/') {
        return fs::path(state) / "quenly";
    }
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/') {
        const passwd* pw = getpwuid(getuid());
        home = pw != nullptr ? pw->pw_dir : nullptr;
    }
    if (home == nullptr) {
        throw DeliveryError(
            "找不到用户的主文件夹，无法保存发送记录；请设置 HOME 或 XDG_STATE_HOME");
    }
    return fs::path(home) / ".local" / "state" / "quenly";
}

fs::path MailJournal::pathFor(const fs::path& source) {
    std::error_code ec;
    const fs::path canonical = fs::canonical(source, ec);
    if (ec) {
        throw DeliveryError("找不到工资表“" + source.string() + "”：" + ec.message());
    }
    return folder() / ("mail-" + sha256Hex(canonical.string()).substr(0, 32) + ".journal");
}

MailJournal::MailJournal(const fs::path& source, Mode mode)
    : m_path(pathFor(source)) {
    const fs::path dir = m_path.parent_path();
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec || ::chmod(dir.c_str(), 0700) != 0) {
        fail("无法建立保存发送记录的文件夹", dir, ec ? ec.value() : errno);
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        m_fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        if (m_fd < 0) {
            fail("无法打开发送记录", m_path, errno);
        }
        if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(m_fd);
            m_fd = -1;
            if (error == EWOULDBLOCK) {
                throw DeliveryError("这份工资表正由另一个发送任务使用（发送记录“" +
                                    m_path.string() + "”已被占用）；请等它结束后再试");
            }
            fail("无法锁定发送记录", m_path, error);
        }
        ::fchmod(m_fd, 0600);
        std::string content;
        std::array<char, 65536> buffer{};
        ssize_t n = 0;
        while ((n = ::pread(m_fd, buffer.data(), buffer.size(),
                            static_cast<off_t>(content.size()))) > 0) {
            content.append(buffer.data(), static_cast<std::size_t>(n));
        }
        if (n < 0) {
            fail("无法读取发送记录", m_path, errno);
        }
        m_sent = addressesIn(content);
        if (mode == Mode::Fresh && !m_sent.empty()) {
            const std::size_t entries = m_sent.size();
            ::close(m_fd);
            m_fd = -1;
            throw JournalInUse(m_path, entries);
        }
        if (mode == Mode::NewRun && !m_sent.empty() && attempt == 0) {
            // Keep the old journal under a name with the time and start an empty one.
            const std::string stem =
                m_path.stem().string() + "." + utcText(std::time(nullptr), "%Y%m%d-%H%M%S");
            fs::path kept = dir / (stem + ".journal");
            for (int n = 2; fs::exists(kept, ec); ++n) {
                kept = dir / (stem + "-" + std::to_string(n) + ".journal");
            }
            if (::rename(m_path.c_str(), kept.c_str()) != 0) {
                fail("无法把旧的发送记录改名保存", m_path, errno);
            }
            syncFolder(dir);
            m_keptAs = kept;
            ::close(m_fd);
            m_fd = -1;
            continue;
        }
        if (content.empty()) {
            const std::string head =
                "# quenly 邮件发送记录\t" + fs::canonical(source).string() + "\n";
            if (files::writeAll(m_fd, head.data(), head.size()) != 0 || ::fsync(m_fd) != 0) {
                fail("无法写入发送记录", m_path, errno);
            }
            syncFolder(dir);
        } else if (content.back() != '\n') {
            // Drop the cut line, so it never becomes a whole one when the next entry follows.
            const std::size_t whole = content.rfind('\n') + 1;
            if (::ftruncate(m_fd, static_cast<off_t>(whole)) != 0 || ::fsync(m_fd) != 0) {
                fail("无法修复发送记录", m_path, errno);
            }
        }
        break;
    }
}

std::set<std::string> MailJournal::recorded(const fs::path& source) {
    std::ifstream in(pathFor(source), std::ios::binary);
    const std::string content((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
    return addressesIn(content);
}

MailJournal::~MailJournal() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

bool MailJournal::sentTo(std::string_view address) const {
    return m_sent.count(wb::lowerAscii(address)) != 0;
}

void MailJournal::record(const JournalEntry& entry) {
    const std::string line = std::string(kEntryTag) + entry.address + "\t" + entry.slipHash + "\t" +
                             entry.messageId + "\t" + utcText(entry.time, "%Y-%m-%dT%H:%M:%SZ") +
                             "\t" + std::to_string(entry.sourceRow) + "\n";
    const int error = files::writeAll(m_fd, line.data(), line.size());
    if (error != 0) {
        fail("无法写入发送记录", m_path, error);
    }
    if (::fdatasync(m_fd) != 0) {
        fail("无法把发送记录写到磁盘", m_path, errno);
    }
    m_sent.insert(wb::lowerAscii(entry.address));
}

std::string sha256Hex(std::string_view bytes) {
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int size = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest.data(), &size, EVP_sha256(), nullptr) != 1) {
        throw DeliveryError("无法计算 SHA-256");
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (unsigned int i = 0; i < size; ++i) {
        out.push_back(kHex[digest[i] >> 4]);
        out.push_back(kHex[digest[i] & 15]);
    }
    return out;
}

} // namespace quenly::delivery
