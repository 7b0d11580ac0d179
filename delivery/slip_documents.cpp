// Each person's own documents: their slip as a one-page PDF, locked with qpdf, and file names.
#include "slip_documents.h"

#include "pdf/rows_pdf.h"
#include "pdf_pages.h"
#include "text_util.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <unordered_set>

namespace quenly::delivery {

SlipPdfs::SlipPdfs(const SlipRun& run)
    : m_run(run) {
    try {
        m_writer = std::make_unique<wb::pdf::RowsPdfWriter>(run.result());
    } catch (const wb::WorkbookError& e) {
        throw DeliveryError(e.what());
    }
}

SlipPdfs::~SlipPdfs() = default;

std::string SlipPdfs::pdf(const Person& person) {
    try {
        return m_writer->pagePdf(person.firstRow, person.lastRow, m_run.result().sheet(0).name());
    } catch (const wb::WorkbookError& e) {
        throw DeliveryError(e.what());
    }
}

std::vector<std::string> SlipPdfs::pdfs(const std::vector<Person>& persons,
                                        const std::vector<std::string>& passwords) {
    if (!passwords.empty() && passwords.size() != persons.size()) {
        throw DeliveryError("密码的个数与人数不符");
    }
    for (const std::string& password : passwords) {
        if (password.empty()) {
            throw DeliveryError("密码为空，PDF 未加密");
        }
    }
    std::vector<wb::pdf::RowsPdfWriter::Rows> pages;
    pages.reserve(persons.size());
    for (const Person& p : persons) {
        pages.push_back({p.firstRow, p.lastRow});
    }
    std::string together;
    try {
        together = m_writer->pagesPdf(pages, m_run.result().sheet(0).name());
    } catch (const wb::WorkbookError& e) {
        throw DeliveryError(e.what());
    }
    return splitPages(together, passwords);
}

void makeSlipPdfs(const SlipRun& run, const std::vector<std::string>& passwords,
                  const std::function<void(std::size_t, std::string)>& done,
                  std::size_t perDocument, unsigned threads) {
    const std::vector<Person>& persons = run.persons();
    if (!passwords.empty() && passwords.size() != persons.size()) {
        throw DeliveryError("密码的个数与人数不符");
    }
    perDocument = std::max<std::size_t>(perDocument, 1);
    const std::size_t chunks = (persons.size() + perDocument - 1) / perDocument;
    if (threads == 0) {
        threads = std::max(1u, std::thread::hardware_concurrency());
    }
    threads =
        static_cast<unsigned>(std::min<std::size_t>(threads, std::max<std::size_t>(chunks, 1)));

    std::atomic<std::size_t> next{0};
    std::mutex mutex; // serialises `done` and guards `failure`
    std::exception_ptr failure;
    std::atomic<bool> stop{false};
    auto work = [&] {
        try {
            SlipPdfs pdfs(run);
            for (std::size_t c = next++; c < chunks && !stop; c = next++) {
                const std::size_t from = c * perDocument;
                const std::size_t to = std::min(persons.size(), from + perDocument);
                const std::vector<Person> some(persons.begin() + from, persons.begin() + to);
                const std::vector<std::string> locks =
                    passwords.empty() ? std::vector<std::string>{}
                                      : std::vector<std::string>(passwords.begin() + from,
                                                                 passwords.begin() + to);
                std::vector<std::string> made = pdfs.pdfs(some, locks);
                const std::lock_guard lock(mutex);
                for (std::size_t i = from; i < to && !stop; ++i) {
                    done(i, std::move(made[i - from]));
                }
            }
        } catch (...) {
            const std::lock_guard lock(mutex);
            if (!failure) {
                failure = std::current_exception();
            }
            stop = true;
        }
    };
    std::vector<std::thread> helpers;
    for (unsigned t = 1; t < threads; ++t) {
        helpers.emplace_back(work);
    }
    work();
    for (std::thread& t : helpers) {
        t.join();
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
}

std::string slipPdf(const SlipRun& run, const Person& person) {
    return SlipPdfs(run).pdf(person);
}

namespace {

bool isContinuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// `text` cut to at most `bytes` bytes, never inside a character.
std::string cutAt(std::string text, std::size_t bytes) {
    if (text.size() <= bytes) {
        return text;
    }
    std::size_t end = bytes;
    while (end > 0 && isContinuation(text[end])) {
        --end;
    }
    text.resize(end);
    return text;
}

bool isBadInName(unsigned char c) {
    return c < 0x20 || c == 0x7F || c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' ||
           c == '"' || c == '<' || c == '>' || c == '|';
}

// The name as a file name can hold it, without the extension; empty when nothing is left.
std::string cleanName(const std::string& name) {
    std::string out;
    out.reserve(name.size());
    for (const char c : name) {
        out += isBadInName(static_cast<unsigned char>(c)) ? '_' : c;
    }
    // Blanks and dots around the name: a name "." or ".." is a folder, a leading dot hides it.
    std::string_view v = out;
    for (;;) {
        const std::string_view trimmed = trimBlanks(v);
        std::string_view next = trimmed;
        while (!next.empty() && next.front() == '.') {
            next.remove_prefix(1);
        }
        while (!next.empty() && next.back() == '.') {
            next.remove_suffix(1);
        }
        if (next.size() == v.size()) {
            break;
        }
        v = next;
    }
    // Room for a "-N" and ".pdf" after it.
    return cutAt(std::string(v), kMaxFileNameBytes - 12);
}

} // namespace

std::string passwordOf(const std::string& cellText, int lastN) {
    if (lastN <= 0) {
        return cellText;
    }
    std::size_t start = cellText.size();
    for (int n = 0; n < lastN && start > 0; ++n) {
        --start;
        while (start > 0 && isContinuation(cellText[start])) {
            --start;
        }
    }
    return cellText.substr(start);
}

std::vector<std::string> slipFileNames(const std::vector<std::string>& names) {
    std::vector<std::string> out;
    out.reserve(names.size());
    std::unordered_set<std::string> taken;
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::string base = cleanName(names[i]);
        if (base.empty()) {
            base = "第" + std::to_string(i + 1) + "人";
        }
        std::string name = base + ".pdf";
        for (int n = 2; !taken.insert(wb::lowerAscii(name)).second; ++n) {
            name = base + "-" + std::to_string(n) + ".pdf";
        }
        out.push_back(std::move(name));
    }
    return out;
}

std::vector<std::string> slipFileNames(const SlipRun& run,
                                       std::optional<std::uint32_t> nameColumn) {
    std::vector<std::string> names;
    names.reserve(run.persons().size());
    for (const Person& p : run.persons()) {
        names.push_back(nameColumn ? run.shown(p, *nameColumn) : std::string());
    }
    return slipFileNames(names);
}

} // namespace quenly::delivery
