// The standard error box: caption from the executable's name, a full stop where one is due.
#include "error_box.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QString>

namespace quenly::ui {

std::string programTitle(std::string_view executablePath) {
    std::string_view name = executablePath;
    if (const auto slash = name.find_last_of('/'); slash != std::string_view::npos) {
        name.remove_prefix(slash + 1);
    }
    if (const auto dot = name.find('.'); dot != std::string_view::npos) {
        name = name.substr(0, dot);
    }
    std::string title(name);
    for (std::size_t i = 1; i < title.size(); ++i) {
        if (title[i] >= 'A' && title[i] <= 'Z') {
            title[i] = static_cast<char>(title[i] - 'A' + 'a');
        }
    }
    return title;
}

std::string errorBoxText(std::string_view message) {
    std::string text(message);
    if (!text.empty() &&
        static_cast<unsigned char>(text.back()) > static_cast<unsigned char>('.')) {
        text += '.';
    }
    return text;
}

std::string runningProgramTitle() {
    return programTitle(QCoreApplication::applicationFilePath().toStdString());
}

void showErrorBox(QWidget* owner, const std::string& message) {
    QMessageBox box(QMessageBox::Critical, QString::fromStdString(runningProgramTitle()),
                    QString::fromStdString(errorBoxText(message)), QMessageBox::Ok, owner);
    box.exec();
}

void showCurrentException(QWidget* owner) {
    try {
        throw;
    } catch (const std::exception& e) {
        showErrorBox(owner, e.what());
    } catch (...) {
        showErrorBox(owner, "发生了未知的内部错误，操作已中止");
    }
}

void showInformation(QWidget* owner, const std::string& text, const std::string& caption) {
    QMessageBox box(QMessageBox::Information, QString::fromStdString(caption),
                    QString::fromStdString(text), QMessageBox::Ok, owner);
    box.exec();
}

} // namespace quenly::ui
