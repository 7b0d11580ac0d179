// TfrmSysOption: the modal dialog in which the user confirms the four header options before an
// export.
#pragma once

#include <QDialog>

#include <filesystem>
#include <string>

class QGroupBox;
class QLabel;
class QLineEdit;

namespace quenly::ui {
class FramedButton;
}

namespace quenly {

/// The header options dialog "表头选项". Its constructor runs FormCreate, which prepares the
/// options file at `iniPath` and fills the four boxes; a failure there is shown in the standard
/// error box and the dialog still opens. btnOK saves the fields key by key and closes the dialog
/// when all four are filled. Enter and Esc do nothing; the close box saves nothing.
class TfrmSysOption : public QDialog {
    Q_OBJECT
public:
    explicit TfrmSysOption(std::filesystem::path iniPath, QWidget* owner = nullptr);

    const std::filesystem::path& iniPath() const { return m_iniPath; }

    QGroupBox* rzgrpbx1 = nullptr;
    QLabel* lbl1 = nullptr;
    QLineEdit* edtRowStart = nullptr;
    QLabel* lbl2 = nullptr;
    QLineEdit* edtRowEnd = nullptr;
    QLabel* lbl3 = nullptr;
    QLineEdit* edtColStart = nullptr;
    QLabel* RzLabel1 = nullptr;
    QLineEdit* edtColEnd = nullptr;
    QLabel* RzLabel2 = nullptr;
    ui::FramedButton* btnOK = nullptr;

public slots:
    /// Validates and saves the four fields in order; closes the dialog after the fourth.
    void btnOKClick();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();
    /// Writes one field to its key. False when the field is blank (after the message was shown
    /// and the box focused).
    bool saveField(QLineEdit* edit, const char* key, const char* blankMessage, bool column);

    std::filesystem::path m_iniPath;
};

/// The text of an edit box as it is saved: characters of codes 0 to 32 removed at both ends.
std::string trimControlAndSpace(std::string text);

/// ASCII letters a to z turned into upper case; every other byte kept.
std::string upperAsciiLetters(std::string text);

} // namespace quenly
