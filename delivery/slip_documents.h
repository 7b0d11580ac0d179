// Each person's own documents: their slip as a one-page PDF, locked with their password, and the
// file names the PDFs are saved or attached under.
#pragma once

#include "slip_run.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quenly::wb::pdf {
class RowsPdfWriter;
}

namespace quenly::delivery {

/// Draws the slips of one run (which must outlive it). The fonts and text layouts are made once
/// and reused for every person; one object belongs to one thread at a time.
class SlipPdfs {
public:
    explicit SlipPdfs(const SlipRun& run);
    ~SlipPdfs();
    SlipPdfs(const SlipPdfs&) = delete;
    SlipPdfs& operator=(const SlipPdfs&) = delete;

    /// The person's slip block drawn exactly as in the whole PDF, on one page (scaled down
    /// further when it is taller than the page), as PDF bytes. Throws DeliveryError.
    std::string pdf(const Person& person);

private:
    const SlipRun& m_run;
    std::unique_ptr<wb::pdf::RowsPdfWriter> m_writer;
};

/// One person's slip as SlipPdfs draws it; lays the result out anew at each call, so a loop over
/// many persons keeps a SlipPdfs instead.
std::string slipPdf(const SlipRun& run, const Person& person);

/// `pdf` locked with AES-256 (PDF 2.0, revision 6) through qpdf: it opens with `password` only.
/// Printing and copying stay allowed once opened. The owner password is random and kept nowhere.
/// Throws DeliveryError when `pdf` cannot be read or the password is empty.
std::string lockPdf(std::string_view pdf, const std::string& password);

/// The password of a person: their cell text, or its last `lastN` characters (UTF-8
/// characters, not bytes) when lastN > 0 and the text is longer.
std::string passwordOf(const std::string& cellText, int lastN);

/// Longest file name, in bytes, that slipFileNames gives (".pdf" included), well inside the 255
/// bytes file systems allow.
inline constexpr std::size_t kMaxFileNameBytes = 200;

/// File names for persons whose name cells show `names` (in the order counted): characters a
/// file name cannot hold ('/' '\\' ':' '*' '?' '"' '<' '>' '|' and control characters) become
/// "_", blanks and dots around the name go, a long name is cut at a character's boundary; equal
/// names (ASCII letters compared without case) get "-2", "-3", ... in order; an empty name gives
/// "第N人" (N the person's number). Each ends in ".pdf".
std::vector<std::string> slipFileNames(const std::vector<std::string>& names);

/// The same for every person of `run` from their cell in `nameColumn`; "第N人" for all when
/// there is no name column.
std::vector<std::string> slipFileNames(const SlipRun& run, std::optional<std::uint32_t> nameColumn);

} // namespace quenly::delivery
