// Walking the records of a BIFF stream, with the CONTINUE records that carry on long ones.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quenly::wb::xls {

namespace rec {
inline constexpr std::uint16_t kFormula = 0x0006;
inline constexpr std::uint16_t kEof = 0x000A;
inline constexpr std::uint16_t kDateMode = 0x0022;
inline constexpr std::uint16_t kFilePass = 0x002F;
inline constexpr std::uint16_t kFont = 0x0031;
inline constexpr std::uint16_t kContinue = 0x003C;
inline constexpr std::uint16_t kWindow1 = 0x003D;
inline constexpr std::uint16_t kCodePage = 0x0042;
inline constexpr std::uint16_t kDefColWidth = 0x0055;
inline constexpr std::uint16_t kColInfo = 0x007D;
inline constexpr std::uint16_t kBoundSheet = 0x0085;
inline constexpr std::uint16_t kPalette = 0x0092;
inline constexpr std::uint16_t kStandardWidth = 0x0099;
inline constexpr std::uint16_t kMulRk = 0x00BD;
inline constexpr std::uint16_t kMulBlank = 0x00BE;
inline constexpr std::uint16_t kRString = 0x00D6;
inline constexpr std::uint16_t kXf = 0x00E0;
inline constexpr std::uint16_t kMergedCells = 0x00E5;
inline constexpr std::uint16_t kSst = 0x00FC;
inline constexpr std::uint16_t kLabelSst = 0x00FD;
inline constexpr std::uint16_t kDimensions = 0x0200;
inline constexpr std::uint16_t kBlank = 0x0201;
inline constexpr std::uint16_t kNumber = 0x0203;
inline constexpr std::uint16_t kLabel = 0x0204;
inline constexpr std::uint16_t kBoolErr = 0x0205;
inline constexpr std::uint16_t kString = 0x0207;
inline constexpr std::uint16_t kRow = 0x0208;
inline constexpr std::uint16_t kArray = 0x0221;
inline constexpr std::uint16_t kDefaultRowHeight = 0x0225;
inline constexpr std::uint16_t kTable = 0x0236;
inline constexpr std::uint16_t kRk = 0x027E;
inline constexpr std::uint16_t kFormat = 0x041E;
inline constexpr std::uint16_t kSharedFormula = 0x04BC;
inline constexpr std::uint16_t kBof = 0x0809;
// BOF records of BIFF2, BIFF3 and BIFF4.
inline constexpr std::uint16_t kBof2 = 0x0009;
inline constexpr std::uint16_t kBof3 = 0x0209;
inline constexpr std::uint16_t kBof4 = 0x0409;
} // namespace rec

/// The name of a record type for messages ("LABELSST"), or "" when it is not one of ours.
std::string_view recordName(std::uint16_t id);

/// One record: its type, the offset of its header in the stream and its data.
struct Record {
    std::uint16_t id = 0;
    std::size_t offset = 0;
    std::span<const std::uint8_t> data;
};

/// Walks the records of a stream. Every record must lie wholly inside the stream; one that does
/// not throws WorkbookError naming the file, the stream and the offset.
class RecordCursor {
public:
    RecordCursor(std::span<const std::uint8_t> stream, std::string_view file,
                 std::string_view streamName, std::size_t pos = 0)
        : m_stream(stream)
        , m_file(file)
        , m_streamName(streamName)
        , m_pos(pos) {}

    bool atEnd() const { return m_pos >= m_stream.size(); }
    std::size_t position() const { return m_pos; }
    /// The type of the next record, or -1 at the end of the stream or before a cut-off header.
    int peekId() const;

    /// Reads the next record; false at the end of the stream.
    bool next(Record& r);

    /// Appends the data of the CONTINUE records that follow to `segments`.
    void takeContinues(std::vector<std::span<const std::uint8_t>>& segments);

private:
    std::span<const std::uint8_t> m_stream;
    std::string_view m_file;
    std::string_view m_streamName;
    std::size_t m_pos;
};

} // namespace quenly::wb::xls
