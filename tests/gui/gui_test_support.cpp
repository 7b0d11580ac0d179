// The modal driver and the simulated drops of the window tests.
#include "gui_test_support.h"

#include "sys_option_dialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDropEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QMimeData>

namespace quenly::test {

ModalDriver::ModalDriver() {
    onMessage = [](QMessageBox* box) {
        const QList<QAbstractButton*> buttons = box->buttons();
        if (!buttons.isEmpty()) {
            buttons.front()->click();
        }
    };
    onOptions = [](TfrmSysOption* dialog) { dialog->close(); };
    onFile = [](QFileDialog* dialog) { dialog->reject(); };
    m_timer.setInterval(5);
    connect(&m_timer, &QTimer::timeout, this, &ModalDriver::watch);
    m_timer.start();
}

ModalDriver::~ModalDriver() = default;

std::vector<SeenModal> ModalDriver::seen(SeenModal::Kind kind) const {
    std::vector<SeenModal> out;
    for (const SeenModal& s : m_seen) {
        if (s.kind == kind) {
            out.push_back(s);
        }
    }
    return out;
}

int ModalDriver::count(SeenModal::Kind kind) const {
    return static_cast<int>(seen(kind).size());
}

void ModalDriver::watch() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible()) {
        return;
    }
    for (const QPointer<QWidget>& done : m_answered) {
        if (done == modal) {
            return;
        }
    }
    m_answered.emplace_back(modal);
    SeenModal seen;
    seen.title = modal->windowTitle();
    QPointer<QWidget> target(modal);
    std::function<void()> answer;
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        seen.kind = SeenModal::Kind::Message;
        seen.text = box->text();
        seen.icon = box->icon();
        answer = [this, target] {
            if (auto* b = qobject_cast<QMessageBox*>(target.data())) {
                onMessage(b);
            }
        };
    } else if (qobject_cast<TfrmSysOption*>(modal)) {
        seen.kind = SeenModal::Kind::Options;
        answer = [this, target] {
            if (auto* d = qobject_cast<TfrmSysOption*>(target.data())) {
                onOptions(d);
            }
        };
    } else if (qobject_cast<QFileDialog*>(modal)) {
        seen.kind = SeenModal::Kind::File;
        answer = [this, target] {
            if (auto* d = qobject_cast<QFileDialog*>(target.data())) {
                onFile(d);
            }
        };
    }
    m_seen.push_back(seen);
    if (answer) {
        QTimer::singleShot(0, this, answer);
    }
}

bool clickButton(QMessageBox* box, const QString& text) {
    for (QAbstractButton* button : box->buttons()) {
        if (button->text() == text) {
            button->click();
            return true;
        }
    }
    return false;
}

void chooseFile(QFileDialog* dialog, const QString& path) {
    auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (name) {
        name->setText(path);
    } else {
        dialog->selectFile(path);
    }
    static_cast<QDialog*>(dialog)->accept();
}

QWidget* nextTabStop(QWidget* widget) {
    for (QWidget* w = widget->nextInFocusChain(); w && w != widget; w = w->nextInFocusChain()) {
        if ((w->focusPolicy() & Qt::TabFocus) && w->isEnabled() &&
            w->isVisibleTo(widget->window())) {
            return w;
        }
    }
    return nullptr;
}

void dropOn(QWidget* target, const QMimeData* data) {
    const QPoint centre = target->rect().center();
    QDragEnterEvent enter(centre, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDragMoveEvent move(centre, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &move);
    QDropEvent drop(QPointF(centre), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
}

void dropUrls(QWidget* target, const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    dropOn(target, &data);
}

bool haveDisplay() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           qEnvironmentVariable("QT_QPA_PLATFORM") == QLatin1String("offscreen");
}

} // namespace quenly::test
