// The header options dialog: layout, loading on creation, and saving field by field.
#include "sys_option_dialog.h"

#include "error_box.h"
#include "framed_controls.h"
#include "header_options.h"

#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QShowEvent>

namespace quenly {

namespace {

const char* const kCaption = "表头选项";
const char* const kBlankCaption = "提示信息";

QLabel* makeLabel(const char* text, QWidget* parent, int x, int y, int width = -1) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->adjustSize();
    label->move(x, y);
    if (width > 0) {
        label->setFixedWidth(width);
    }
    return label;
}

QLineEdit* makeEdit(const char* name, QWidget* parent, int x, int y) {
    auto* edit = new ui::FlatEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setText(QStringLiteral("1"));
    edit->setGeometry(x, y, 40, 19);
    return edit;
}

} // namespace

std::string trimControlAndSpace(std::string text) {
    const auto isTrimmed = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    std::size_t begin = 0;
    while (begin < text.size() && isTrimmed(text[begin])) {
        ++begin;
    }
    std::size_t end = text.size();
    while (end > begin && isTrimmed(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

std::string upperAsciiLetters(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

TfrmSysOption::TfrmSysOption(std::filesystem::path iniPath, QWidget* owner)
    // A fixed dialog border: a title with its menu and a close box, nothing to minimize or
    // maximize (without CustomizeWindowHint the window system adds its own defaults).
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                         Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
    , m_iniPath(std::move(iniPath)) {
    setObjectName(QStringLiteral("TfrmSysOption"));
    setWindowTitle(QString::fromUtf8(kCaption));
    setModal(true);
    setFixedSize(302, 183);

    rzgrpbx1 = new QGroupBox(QString::fromUtf8("表头设置"), this);
    rzgrpbx1->setObjectName(QStringLiteral("rzgrpbx1"));
    rzgrpbx1->setGeometry(0, 0, 302, 137);

    lbl1 = makeLabel("表头从：", rzgrpbx1, 16, 27);
    edtRowStart = makeEdit("edtRowStart", rzgrpbx1, 78, 52);
    lbl2 = makeLabel("行，到", rzgrpbx1, 126, 56, 46);
    edtRowEnd = makeEdit("edtRowEnd", rzgrpbx1, 174, 52);
    lbl3 = makeLabel("行；", rzgrpbx1, 222, 56);
    edtColStart = makeEdit("edtColStart", rzgrpbx1, 78, 92);
    RzLabel1 = makeLabel("列，到", rzgrpbx1, 126, 96, 46);
    edtColEnd = makeEdit("edtColEnd", rzgrpbx1, 174, 92);
    RzLabel2 = makeLabel("列。", rzgrpbx1, 222, 96);
    lbl1->setObjectName(QStringLiteral("lbl1"));
    lbl2->setObjectName(QStringLiteral("lbl2"));
    lbl3->setObjectName(QStringLiteral("lbl3"));
    RzLabel1->setObjectName(QStringLiteral("RzLabel1"));
    RzLabel2->setObjectName(QStringLiteral("RzLabel2"));

    btnOK = new ui::FramedButton(QString::fromUtf8("确定"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setGeometry(112, 149, 75, 25);
    connect(btnOK, &QPushButton::clicked, this, &TfrmSysOption::btnOKClick);

    // Tab order: the four boxes inside the group (0 to 3), then the button.
    setTabOrder(edtRowStart, edtRowEnd);
    setTabOrder(edtRowEnd, edtColStart);
    setTabOrder(edtColStart, edtColEnd);
    setTabOrder(edtColEnd, btnOK);
    edtRowStart->setFocus();

    FormCreate();
}

void TfrmSysOption::FormCreate() {
    ui::guarded(this, [this] {
        const HeaderOptionsStore store(m_iniPath);
        const HeaderOptions options = store.prepareForEditing();
        edtRowStart->setText(QString::fromStdString(options.StartTitleRow));
        edtRowEnd->setText(QString::fromStdString(options.EndTitleRow));
        edtColStart->setText(QString::fromStdString(options.StartTitleCol));
        edtColEnd->setText(QString::fromStdString(options.EndTitleCol));
    });
}

bool TfrmSysOption::saveField(QLineEdit* edit, const char* key, const char* blankMessage,
                              bool column) {
    std::string value = trimControlAndSpace(edit->text().toStdString());
    if (value.empty()) {
        ui::showInformation(this, blankMessage, kBlankCaption);
        edit->setFocus();
        return false;
    }
    if (column) {
        value = upperAsciiLetters(std::move(value));
    }
    HeaderOptionsStore(m_iniPath).writeKey(key, value);
    return true;
}

void TfrmSysOption::btnOKClick() {
    ui::guarded(this, [this] {
        if (!saveField(edtRowStart, "StartTitleRow", "请设置起始标题行", false) ||
            !saveField(edtRowEnd, "EndTitleRow", "请设置结束标题行", false) ||
            !saveField(edtColStart, "StartTitleCol", "请设置起始标题列", true) ||
            !saveField(edtColEnd, "EndTitleCol", "请设置结束标题列", true)) {
            return;
        }
        accept();
    });
}

void TfrmSysOption::keyPressEvent(QKeyEvent* event) {
    // Neither Enter nor Esc ends this dialog: it has no default and no cancel button.
    switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        event->accept();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

void TfrmSysOption::showEvent(QShowEvent* event) {
    // Centred on the window that owns it.
    if (QWidget* owner = parentWidget(); owner && !event->spontaneous()) {
        QRect box = frameGeometry();
        box.moveCenter(owner->window()->frameGeometry().center());
        move(box.topLeft());
    }
    QDialog::showEvent(event);
}

} // namespace quenly
