// The preview of a mail run: one row per counted person with what the checks found, and, once
// sending, what became of their mail.
#pragma once

#include "mail_checks.h"

#include <QAbstractTableModel>
#include <QString>

#include <set>
#include <string>
#include <vector>

namespace quenly::send {

/// What became of one person's mail in this window.
enum class RowStatus {
    None,    // nothing tried yet
    Waiting, // to be sent by the run under way
    Before,  // the journal records a mail from an earlier run
    Sent,    // 已发送
    Refused, // 被拒绝, with the server's reason
    NotSent, // 未发送: the run ended before this person
    Skipped, // left out for a problem of the checks
};

/// The table model over a MailPlan: columns 行, 姓名, 邮箱, 附件, 加密, 检查, 状态. A person with a
/// problem has their 检查 cell and row number in red; statuses are set as the run reports them.
class RecipientTable : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Row, Name, Address, Attachment, Locked, Checks, Status, ColumnCount };

    using QAbstractTableModel::QAbstractTableModel;

    /// Shows `plan`; persons whose address `recorded` holds (lowercase) are marked as sent
    /// before.
    void setPlan(const delivery::MailPlan& plan, const std::set<std::string>& recorded);
    void clear();

    void setStatus(std::size_t index, RowStatus status, const std::string& reason = {});
    RowStatus status(std::size_t index) const { return m_rows.at(index).status; }
    /// The text of a person's status cell.
    QString statusText(std::size_t index) const;
    /// Persons with no outcome yet (None or Waiting) become NotSent, or Skipped when they have a
    /// problem.
    void markUnsent();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    struct Line {
        QString row;
        QString name;
        QString address;
        QString attachment;
        bool locked = false;
        QString problems;
        RowStatus status = RowStatus::None;
        QString reason;
    };
    std::vector<Line> m_rows;
};

} // namespace quenly::send
