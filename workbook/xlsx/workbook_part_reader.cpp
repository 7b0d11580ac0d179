// The workbook part: sheet names and relationships, the date system, the first view's tab.
#include "xlsx/workbook_part_reader.h"

#include "xlsx/xlsx_read_common.h"
#include "xlsx/xml_reader.h"

namespace quenly::wb::xlsx_read {

namespace {

class WorkbookHandler : public XmlHandler {
public:
    WorkbookPart book;

    void startElement(std::string_view name, const Attributes& a) override {
        if (name == "sheet") {
            const char* n = a.get("name");
            const char* id = a.get("id");
            book.sheets.push_back({n ? n : "", id ? id : ""});
        } else if (name == "workbookPr") {
            book.date1904 = parseBool(a.get("date1904"), false);
        } else if (name == "workbookView" && !m_sawView) {
            m_sawView = true;
            if (const char* t = a.get("activeTab")) {
                book.activeTab = parseUnsigned(t).value_or(0);
            }
        }
    }
    void endElement(std::string_view) override {}
    void text(const char*, std::size_t) override {}

private:
    bool m_sawView = false;
};

} // namespace

WorkbookPart readWorkbookPart(const ZipReader& zip, std::string_view part) {
    WorkbookHandler h;
    parsePart(zip, part, h, kMaxSmallPart);
    return std::move(h.book);
}

} // namespace quenly::wb::xlsx_read
