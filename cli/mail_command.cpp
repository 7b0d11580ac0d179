// quenly-batch SOURCE --mail SETTINGS.ini: the checks as a table, then one mail per person with
// a progress line each (never an amount).
#include "mail_command.h"

#include "batch_host.h"
#include "column_choice.h"
#include "mail_delivery.h"
#include "text_util.h"

#include <atomic>
#include <charconv>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <set>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace quenly::batch {

namespace {

using namespace quenly::delivery;

// The run a Ctrl-C asks to stop after the current mail.
std::atomic<MailDelivery*> g_running{nullptr};

void stopOnInterrupt(int) {
    if (MailDelivery* d = g_running.load()) {
        d->requestStop();
    }
}

// Columns a terminal gives `text`: two for each CJK character (three-byte UTF-8 and longer).
std::size_t displayWidth(std::string_view text) {
    std::size_t width = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        width += n >= 3 ? 2 : 1;
        i += n;
    }
    return width;
}

std::string padded(const std::string& text, std::size_t width) {
    const std::size_t w = displayWidth(text);
    return text + std::string(w < width ? width - w : 0, ' ') + "  ";
}

// The terminal whose echo is off while the password is typed, to be restored on Ctrl-C.
int g_ttyFd = -1;
termios g_ttyMode{};

void restoreEchoAndStop(int signal) {
    ::tcsetattr(g_ttyFd, TCSANOW, &g_ttyMode);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// The password of the SMTP login: QUENLY_SMTP_PASSWORD, or typed on the terminal without echo.
std::optional<std::string> smtpPassword(const MailSettings& settings) {
    if (const char* env = std::getenv("QUENLY_SMTP_PASSWORD")) {
        return std::string(env);
    }
    const int fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return std::nullopt;
    }
    termios old{};
    const bool terminal = ::tcgetattr(fd, &old) == 0;
    auto previous = SIG_DFL;
    if (terminal) {
        g_ttyFd = fd;
        g_ttyMode = old;
        previous = std::signal(SIGINT, restoreEchoAndStop);
        termios quiet = old;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(fd, TCSAFLUSH, &quiet);
    }
    const std::string prompt = "请输入 " + settings.user + " 在 " + settings.host + " 的密码：";
    [[maybe_unused]] const ssize_t shown = ::write(fd, prompt.data(), prompt.size());
    std::string password;
    char c = 0;
    while (::read(fd, &c, 1) == 1 && c != '\n') {
        password.push_back(c);
    }
    if (terminal) {
        ::tcsetattr(fd, TCSAFLUSH, &old);
        std::signal(SIGINT, previous);
    }
    [[maybe_unused]] const ssize_t ended = ::write(fd, "\n", 1);
    ::close(fd);
    return password;
}

std::string personText(const Recipient& r) {
    return "第 " + std::to_string(r.person.sourceRow) + " 行" +
           (r.name.empty() ? "" : " " + r.name) + " <" + addressForDisplay(r.address) + ">";
}

void printChecks(const MailPlan& plan) {
    std::size_t nameWidth = 4;
    std::size_t addressWidth = 4;
    std::size_t fileWidth = 4;
    for (const Recipient& r : plan.recipients) {
        nameWidth = std::max(nameWidth, displayWidth(r.name));
        addressWidth = std::max(addressWidth, displayWidth(addressForDisplay(r.address)));
        fileWidth = std::max(fileWidth, displayWidth(r.attachmentName));
    }
    std::cout << padded("行", 6) << padded("姓名", nameWidth) << padded("邮箱", addressWidth)
              << padded("附件", fileWidth) << padded("加密", 4) << "检查\n";
    for (const Recipient& r : plan.recipients) {
        std::string problems;
        for (const std::string& p : r.problems) {
            problems += (problems.empty() ? "" : "；") + p;
        }
        std::cout << padded(std::to_string(r.person.sourceRow), 6) << padded(r.name, nameWidth)
                  << padded(addressForDisplay(r.address), addressWidth)
                  << padded(r.attachmentName, fileWidth) << padded(r.locked ? "是" : "否", 4)
                  << (problems.empty() ? "通过" : problems) << "\n";
    }
}

const char* stateText(PersonState state) {
    switch (state) {
    case PersonState::Sent:
        return "已发送";
    case PersonState::Refused:
        return "被拒绝";
    case PersonState::AlreadySent:
        return "此前已发送，跳过";
    case PersonState::Skipped:
        return "未通过检查，跳过";
    case PersonState::NotSent:
        break;
    }
    return "未发送";
}

} // namespace

bool parseMailOption(std::string_view arg, const OptionValue& value, Arguments& a) {
    if (arg == "--mail") {
        a.mail = std::string(value());
    } else if (arg == "--to-col") {
        a.toCol = std::string(value());
    } else if (arg == "--cafile") {
        a.cafile = std::string(value());
    } else if (arg == "--interval") {
        const std::string_view text = value();
        double seconds = -1;
        const auto res = std::from_chars(text.data(), text.data() + text.size(), seconds);
        if (res.ec != std::errc() || res.ptr != text.data() + text.size() || !(seconds >= 0) ||
            seconds > 3600) {
            throw UsageError{"--interval 需要 0 到 3600 之间的秒数，收到“" + std::string(text) +
                             "”"};
        }
        a.interval = seconds;
    } else if (arg == "--dry-run") {
        a.dryRun = true;
    } else if (arg == "--resume") {
        a.resume = true;
    } else if (arg == "--new-run") {
        a.newRun = true;
    } else if (arg == "--skip-invalid") {
        a.skipInvalid = true;
    } else {
        return false;
    }
    return true;
}

void checkMailArguments(Arguments& a, const std::vector<std::string>& positional) {
    if (positional.size() != 1) {
        throw UsageError{positional.empty() ? "缺少源工作簿"
                                            : "--mail 只需要源工作簿，不需要结果文件"};
    }
    a.source = positional[0];
    if (a.source.empty() || a.mail->empty()) {
        throw UsageError{"源工作簿和 --mail 设置文件的路径不能为空"};
    }
    if (!a.toCol) {
        throw UsageError{"--mail 需要 --to-col 指明邮箱地址所在的列（如 --to-col 邮箱）"};
    }
    if (a.passwordLast > 0 && !a.passwordCol) {
        throw UsageError{"--password-last 需要与 --password-col 一起使用"};
    }
    if (a.resume && a.newRun) {
        throw UsageError{"--resume 与 --new-run 不能同时使用"};
    }
    if (a.timings || a.overwrite) {
        throw UsageError{std::string(a.timings ? "--timings" : "--overwrite") + " 不用于 --mail"};
    }
}

int runMail(const Arguments& args) {
    const MailSettings settings = readMailSettings(*args.mail);

    BatchHost host(args.source);
    const SlipRun run = [&] {
        try {
            SlipRun r = runSlipExport(args.source, exportSettingsOf(args), host);
            host.endProgressLine();
            return r;
        } catch (...) {
            host.endProgressLine();
            throw;
        }
    }();
    if (run.persons().empty()) {
        std::cerr << "quenly-batch：没有数到任何人员，没有要发送的邮件\n";
        return 1;
    }

    MailColumns columns;
    const auto to = columnOrSay(run, "--to-col", *args.toCol);
    if (!to) {
        return 2;
    }
    columns.to = *to;
    if (args.nameCol) {
        columns.name = columnOrSay(run, "--name-col", *args.nameCol);
        if (!columns.name) {
            return 2;
        }
    }
    if (args.passwordCol) {
        columns.password = columnOrSay(run, "--password-col", *args.passwordCol);
        if (!columns.password) {
            return 2;
        }
    }
    columns.passwordLast = args.passwordLast;

    const MailPlan plan = planMail(run, columns);
    // The templates are read against the titles before anything is sent.
    MailDelivery delivery(run, plan, settings);
    printChecks(plan);

    const std::size_t problems = plan.withProblems();
    const std::size_t total = plan.recipients.size();
    if (problems > 0 && !args.skipInvalid) {
        std::cerr << "quenly-batch：" << problems << " 人未通过检查（见上表），没有发送任何邮件。"
                  << "请改正工资表后重试，或加 --skip-invalid 只发给通过检查的人：\n";
        for (const Recipient& r : plan.recipients) {
            if (!r.problems.empty()) {
                std::cerr << "  " << personText(r) << "：" << r.problems.front() << "\n";
            }
        }
        return 1;
    }
    if (problems > 0) {
        std::cout << "按 --skip-invalid，不发给未通过检查的 " << problems << " 人，只发给其余 "
                  << total - problems << " 人。\n";
    }
    if (args.dryRun) {
        // What the journal of an earlier run would change, read without touching it.
        const std::set<std::string> recorded =
            args.newRun ? std::set<std::string>{} : MailJournal::recorded(args.source);
        std::size_t before = 0;
        for (const Recipient& r : plan.recipients) {
            before += r.problems.empty() && recorded.count(wb::lowerAscii(r.address)) != 0 ? 1 : 0;
        }
        if (!recorded.empty() && !args.resume && !args.newRun) {
            std::cout << "这份工资表已有发送记录（" << recorded.size()
                      << " 人）：正式发送时须加 --resume（只发给尚未发送的人）或 --new-run。\n";
        } else if (before > 0) {
            std::cout << "其中 " << before << " 人此前已发送，将跳过。\n";
        }
        std::cout << "试运行（--dry-run）：将从 " << settings.from << " 经 " << settings.host << ":"
                  << settings.port << " 发出 " << total - problems - before << " 封邮件，主题“"
                  << settings.subject << "”，各附本人的工资条"
                  << (columns.password ? "（已加密）" : "") << "；没有发送任何邮件。\n";
        return problems > 0 ? 1 : 0;
    }

    MailJournal::Mode mode = args.resume   ? MailJournal::Mode::Resume
                             : args.newRun ? MailJournal::Mode::NewRun
                                           : MailJournal::Mode::Fresh;
    std::optional<MailJournal> journal;
    try {
        journal.emplace(args.source, mode);
    } catch (const JournalInUse& e) {
        std::cerr << "quenly-batch：这份工资表已经发送过，发送记录“" << e.path().string()
                  << "”中有 " << e.entries()
                  << " 人。为免重复发送，没有发送任何邮件。\n"
                     "  要接着发给尚未发送的人，请加 --resume；\n"
                     "  若这是同一路径下的一份新表（如下个月的工资表），请加 --new-run："
                     "旧记录会改名保存，并开始一份新记录。\n";
        return 1;
    }
    if (!journal->keptAs().empty()) {
        std::cout << "按 --new-run，旧的发送记录已改名保存为“" << journal->keptAs().string()
                  << "”，开始一份新记录。\n";
    }

    std::string password;
    if (!settings.user.empty()) {
        const auto typed = smtpPassword(settings);
        if (!typed) {
            std::cerr
                << "quenly-batch：需要 " << settings.user
                << " 的邮箱密码：请在终端中运行以便输入，或设置环境变量 QUENLY_SMTP_PASSWORD\n";
            return 1;
        }
        password = *typed;
    }
    SmtpSession session(settings, std::move(password), args.cafile.value_or(""));

    std::size_t shown = 0;
    delivery.onPerson = [&](const Recipient& r, const PersonOutcome& o) {
        ++shown;
        std::cout << "[" << shown << "/" << total << "] " << personText(r) << " "
                  << stateText(o.state)
                  << (o.state == PersonState::Refused ? "：" + o.reason : std::string()) << "\n"
                  << std::flush;
    };
    delivery.onRetry = [&](const std::string& reason, int attempt, std::chrono::milliseconds wait) {
        std::cout << reason << "；" << wait.count() / 1000.0 << " 秒后第 " << attempt << " 次尝试\n"
                  << std::flush;
    };
    MailRunOptions options;
    options.interval = std::chrono::milliseconds(static_cast<long long>(args.interval * 1000));
    options.skipInvalid = args.skipInvalid;

    g_running = &delivery;
    const auto previous = std::signal(SIGINT, stopOnInterrupt);
    const MailRunResult result = delivery.run(session, *journal, options);
    std::signal(SIGINT, previous);
    g_running = nullptr;

    const std::size_t sent = result.count(PersonState::Sent);
    const std::size_t before = result.count(PersonState::AlreadySent);
    std::cout << "已发送 " << sent << " 人"
              << (before > 0 ? "，此前已发送 " + std::to_string(before) + " 人" : "") << "，共 "
              << total << " 人。\n";
    if (sent + before == total && result.end == MailRunResult::End::Finished) {
        return 0;
    }
    if (result.end != MailRunResult::End::Finished) {
        std::cerr << "quenly-batch：发送中止：" << result.reason << "\n";
        if (result.end == MailRunResult::End::LoginDenied) {
            std::cerr << "  请检查 [smtp] user 和密码（QUENLY_SMTP_PASSWORD 或终端输入）。\n";
        }
    }
    std::cerr << "quenly-batch：以下 " << total - sent - before << " 人没有收到邮件：\n";
    for (const PersonOutcome& o : result.outcomes) {
        if (o.state != PersonState::Sent && o.state != PersonState::AlreadySent) {
            const Recipient& r = plan.recipients[o.index];
            std::cerr << "  " << personText(r) << "：" << stateText(o.state)
                      << (o.reason.empty() ? "" : "：" + o.reason) << "\n";
        }
    }
    if (sent > 0 || before > 0) {
        std::cerr << "  改正后加 --resume 重新运行，只会发给尚未发送的人。\n";
    }
    return 1;
}

} // namespace quenly::batch
