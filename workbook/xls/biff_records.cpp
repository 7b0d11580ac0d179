// Walking the records of a BIFF stream.
#include "xls/biff_records.h"

#include "little_endian.h"
#include "read_error.h"
#include "xls/xls_error.h"

namespace quenly::wb::xls {

std::string_view recordName(std::uint16_t id) {
    switch (id) {
    case rec::kFormula:
        return "FORMULA";
    case rec::kEof:
        return "EOF";
    case rec::kDateMode:
        return "DATEMODE";
    case rec::kFilePass:
        return "FILEPASS";
    case rec::kFont:
        return "FONT";
    case rec::kContinue:
        return "CONTINUE";
    case rec::kWindow1:
        return "WINDOW1";
    case rec::kCodePage:
        return "CODEPAGE";
    case rec::kDefColWidth:
        return "DEFCOLWIDTH";
    case rec::kColInfo:
        return "COLINFO";
    case rec::kBoundSheet:
        return "BOUNDSHEET";
    case rec::kPalette:
        return "PALETTE";
    case rec::kStandardWidth:
        return "STANDARDWIDTH";
    case rec::kMulRk:
        return "MULRK";
    case rec::kMulBlank:
        return "MULBLANK";
    case rec::kRString:
        return "RSTRING";
    case rec::kXf:
        return "XF";
    case rec::kMergedCells:
        return "MERGEDCELLS";
    case rec::kSst:
        return "SST";
    case rec::kLabelSst:
        return "LABELSST";
    case rec::kDimensions:
        return "DIMENSIONS";
    case rec::kBlank:
        return "BLANK";
    case rec::kNumber:
        return "NUMBER";
    case rec::kLabel:
        return "LABEL";
    case rec::kBoolErr:
        return "BOOLERR";
    case rec::kString:
        return "STRING";
    case rec::kRow:
        return "ROW";
    case rec::kDefaultRowHeight:
        return "DEFAULTROWHEIGHT";
    case rec::kRk:
        return "RK";
    case rec::kFormat:
        return "FORMAT";
    case rec::kBof:
    case rec::kBof2:
    case rec::kBof3:
    case rec::kBof4:
        return "BOF";
    default:
        return {};
    }
}

int RecordCursor::peekId() const {
    if (m_pos + 4 > m_stream.size()) {
        return -1;
    }
    return le16(m_stream.data() + m_pos);
}

bool RecordCursor::next(Record& r) {
    if (m_pos >= m_stream.size()) {
        return false;
    }
    // A fault of the record at the cursor, `record` as messages name it.
    auto refuse = [&](std::string record, std::string fault) {
        ReadFault f(ReadFault::Kind::Unreadable, std::string(m_file), std::string(m_streamName));
        f.record = std::move(record);
        f.offset = m_pos;
        f.fault = std::move(fault);
        throw ReadError(std::move(f));
    };
    if (m_pos + 4 > m_stream.size()) {
        refuse({},
               "的记录头不完整（流在 " + num(m_stream.size()) + " 字节处结束），文件可能已被截断");
    }
    const std::uint8_t* p = m_stream.data() + m_pos;
    r.id = le16(p);
    const std::size_t len = le16(p + 2);
    if (m_pos + 4 + len > m_stream.size()) {
        std::string name(recordName(r.id));
        if (name.empty()) {
            name = "类型 " + hex4(r.id);
        }
        refuse(name + " 记录", "长度为 " + num(len) + " 字节，超出了流的末尾（还剩 " +
                                   num(m_stream.size() - m_pos - 4) +
                                   " 字节），文件已损坏或被截断");
    }
    r.offset = m_pos;
    r.data = m_stream.subspan(m_pos + 4, len);
    m_pos += 4 + len;
    return true;
}

void RecordCursor::takeContinues(std::vector<std::span<const std::uint8_t>>& segments) {
    Record r;
    while (peekId() == rec::kContinue) {
        next(r);
        segments.push_back(r.data);
    }
}

} // namespace quenly::wb::xls
