// The preview table of the sending window.
#include "recipient_table.h"

#include "mail_address.h"
#include "text_util.h"

#include <QBrush>
#include <QColor>

namespace quenly::send {

namespace {

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

const QColor kProblemText(0xC0, 0x00, 0x00);
const QColor kProblemBackground(0xFF, 0xEB, 0xEB);
const QColor kSentText(0x1E, 0x7B, 0x34);

} // namespace

void RecipientTable::setPlan(const delivery::MailPlan& plan,
                             const std::set<std::string>& recorded) {
    beginResetModel();
    m_rows.clear();
    m_rows.reserve(plan.recipients.size());
    for (const delivery::Recipient& r : plan.recipients) {
        Line line;
        line.row = QString::number(r.person.sourceRow);
        line.name = fromUtf8(r.name);
        line.address = fromUtf8(delivery::addressForDisplay(r.address));
        line.attachment = fromUtf8(r.attachmentName);
        line.locked = r.locked;
        QStringList problems;
        for (const std::string& p : r.problems) {
            problems << fromUtf8(p);
        }
        line.problems = problems.join(QStringLiteral("；"));
        if (r.problems.empty() && recorded.count(wb::lowerAscii(r.address)) != 0) {
            line.status = RowStatus::Before;
        }
        m_rows.push_back(std::move(line));
    }
    endResetModel();
}

void RecipientTable::clear() {
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

void RecipientTable::setStatus(std::size_t index, RowStatus status, const std::string& reason) {
    Line& line = m_rows.at(index);
    line.status = status;
    line.reason = fromUtf8(reason);
    const int row = static_cast<int>(index);
    emit dataChanged(this->index(row, Status), this->index(row, Status));
}

QString RecipientTable::statusText(std::size_t index) const {
    const Line& line = m_rows.at(index);
    switch (line.status) {
    case RowStatus::None:
        return {};
    case RowStatus::Waiting:
        return QStringLiteral("待发送");
    case RowStatus::Before:
        return QStringLiteral("此前已发送");
    case RowStatus::Sent:
        return QStringLiteral("已发送");
    case RowStatus::Refused:
        return QStringLiteral("被拒绝：") + line.reason;
    case RowStatus::NotSent:
        return line.reason.isEmpty() ? QStringLiteral("未发送")
                                     : QStringLiteral("未发送：") + line.reason;
    case RowStatus::Skipped:
        return QStringLiteral("未发送：未通过检查");
    }
    return {};
}

void RecipientTable::markUnsent() {
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        if (m_rows[i].status == RowStatus::None || m_rows[i].status == RowStatus::Waiting) {
            setStatus(i, m_rows[i].problems.isEmpty() ? RowStatus::NotSent : RowStatus::Skipped);
        }
    }
}

int RecipientTable::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int RecipientTable::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant RecipientTable::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(m_rows.size())) {
        return {};
    }
    const Line& line = m_rows[static_cast<std::size_t>(index.row())];
    const bool problem = !line.problems.isEmpty();
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case Row:
            return line.row;
        case Name:
            return line.name;
        case Address:
            return line.address;
        case Attachment:
            return line.attachment;
        case Locked:
            return line.locked ? QStringLiteral("是") : QStringLiteral("否");
        case Checks:
            return problem ? line.problems : QStringLiteral("通过");
        case Status:
            return statusText(static_cast<std::size_t>(index.row()));
        default:
            return {};
        }
    case Qt::ToolTipRole:
        if (index.column() == Checks && problem) {
            return line.problems;
        }
        if (index.column() == Status) {
            return statusText(static_cast<std::size_t>(index.row()));
        }
        return {};
    case Qt::ForegroundRole:
        if (problem && (index.column() == Row || index.column() == Checks)) {
            return QBrush(kProblemText);
        }
        if (index.column() == Status) {
            if (line.status == RowStatus::Sent || line.status == RowStatus::Before) {
                return QBrush(kSentText);
            }
            if (line.status == RowStatus::Refused) {
                return QBrush(kProblemText);
            }
        }
        return {};
    case Qt::BackgroundRole:
        return problem ? QVariant(QBrush(kProblemBackground)) : QVariant();
    case Qt::TextAlignmentRole:
        if (index.column() == Row || index.column() == Locked) {
            return QVariant(Qt::AlignCenter);
        }
        return {};
    default:
        return {};
    }
}

QVariant RecipientTable::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    static const char* const kTitles[ColumnCount] = {"行",   "姓名", "邮箱", "附件",
                                                     "加密", "检查", "状态"};
    return section >= 0 && section < ColumnCount ? QString::fromUtf8(kTitles[section]) : QVariant();
}

} // namespace quenly::send
