// One person's slip as the mail will carry it: their PDF, drawn page by page into the window.
#pragma once

#include <QImage>
#include <QScrollArea>
#include <QString>

#include <string>

class QLabel;

namespace quenly::send {

/// Shows the first page of a PDF held in memory, scaled to the width of the view. A locked PDF
/// is opened with its password, as the person will open it.
class SlipView : public QScrollArea {
    Q_OBJECT
public:
    explicit SlipView(QWidget* parent = nullptr);

    /// Draws `pdf`; `caption` is shown above the page. False (and a message in the view) when
    /// the PDF cannot be opened.
    bool showPdf(const std::string& pdf, const QString& password, const QString& caption);
    /// Shows `text` in place of a page.
    void showText(const QString& text);

    /// The page as last drawn (null when none is shown).
    const QImage& page() const { return m_page; }
    /// The caption above it.
    QString caption() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void drawPage();

    QLabel* m_caption = nullptr;
    QLabel* m_image = nullptr;
    std::string m_pdf;
    QString m_password;
    QImage m_page;
};

} // namespace quenly::send
