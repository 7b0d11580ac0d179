// Each person's own documents: their slip as a one-page PDF, locked with their password, and the
// file names the PDFs are saved or attached under.
#pragma once

#include "pdf_pages.h"
#include "slip_run.h"

#include <cstdint>
#include <functional>
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

    /// The slips of `persons`, each its own one-page document as pdf() makes it, locked with
    /// `passwords[i]` (as lockPdf locks) when `passwords` is not empty (then one per person).
    /// They are drawn as the pages of one document and split into one per page: a document's
    /// fonts are prepared once, which takes far longer than drawing a page. Each page's fonts
    /// are then trimmed to what that page shows (splitPages): no document keeps the Unicode
    /// mapping of a character only another slip shows, nor its outline in a CID-keyed font (the
    /// Chinese faces); simple fonts keep the outlines of their few Latin glyphs. Throws
    /// DeliveryError.
    std::vector<std::string> pdfs(const std::vector<Person>& persons,
                                  const std::vector<std::string>& passwords = {});

private:
    const SlipRun& m_run;
    std::unique_ptr<wb::pdf::RowsPdfWriter> m_writer;
};

/// Persons drawn together as one document by makeSlipPdfs unless told otherwise. Each document
/// prepares its fonts once (about 25 ms for a CJK face), so fewer documents are quicker; but a
/// page split from a larger document keeps more of the font's shared subroutines, so its file
/// is larger (a slip of 25 columns: about 165 KB for 4, 215 KB for 8, 250 KB for 12, 290 KB for
/// 16; 1,000 slips take 11, 7, 5.7 and 5.1 s of CPU time for them).
inline constexpr std::size_t kPersonsPerDocument = 12;

/// Every person's slip of `run`, as SlipPdfs::pdfs makes them (locked with passwords[i] when
/// `passwords` is not empty), `perDocument` persons drawn together (1: each alone), on up to
/// `threads` threads at once (0: one per core), each with a SlipPdfs of its own. `done(i, pdf)`
/// gets person i's document (i counts from 0 in run.persons()); it is called once per person, one
/// call at a time, in no fixed order. An exception from `done` or from the drawing stops the work
/// and passes through.
void makeSlipPdfs(const SlipRun& run, const std::vector<std::string>& passwords,
                  const std::function<void(std::size_t, std::string)>& done,
                  std::size_t perDocument = kPersonsPerDocument, unsigned threads = 0);

/// One person's slip as SlipPdfs draws it; lays the result out anew at each call, so a loop over
/// many persons keeps a SlipPdfs instead.
std::string slipPdf(const SlipRun& run, const Person& person);

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
