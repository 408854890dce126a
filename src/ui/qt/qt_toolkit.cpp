#include "ui/qt/qt_toolkit.h"

#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QThread>

#include "ui/qt/qt_window.h"

namespace comflash::ui::qt {

namespace {

QMessageBox::Icon toQt(Icon icon) {
    switch (icon) {
        case Icon::Critical:
            return QMessageBox::Critical;
        case Icon::Exclamation:
            return QMessageBox::Warning;
        case Icon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

// Qt takes a filter's patterns from the parentheses that end its text.
QString toQt(const FileFilter& filter) {
    const QString name = QString::fromStdString(filter.name);
    const QString pattern = QString::fromStdString(filter.pattern);
    return name.endsWith("(" + pattern + ")") ? name : name + " (" + pattern + ")";
}

}  // namespace

QtToolkit::QtToolkit(QtComm::PortDevice portDevice, PortToolTip portToolTip)
    : portDevice_(std::move(portDevice)), portToolTip_(std::move(portToolTip)) {}

std::unique_ptr<Window> QtToolkit::createWindow(const WindowEntry& entry) {
    auto window =
        std::make_unique<QtWindow>(entry, portDevice_, [this] { return mainWindow_.data(); });
    if (entry.placement == Placement::CenterScreen && mainWindow_.isNull()) {
        mainWindow_ = &window->widget();
    }
    return window;
}

// Closing a Retry/Cancel box answers Cancel; closing an OK box answers OK, its only button.
Answer QtToolkit::showMessage(const MessageBox& box) {
    const bool retry = box.buttons == Buttons::RetryCancel;
    QMessageBox dialog(toQt(box.icon),
                       QString::fromStdString(box.title ? *box.title : std::string(kDefaultTitle)),
                       QString::fromStdString(box.text),
                       retry ? QMessageBox::Retry | QMessageBox::Cancel : QMessageBox::Ok);
    dialog.setTextFormat(Qt::PlainText);
    if (retry) dialog.setEscapeButton(QMessageBox::Cancel);
    switch (dialog.exec()) {
        case QMessageBox::Retry:
            return Answer::Retry;
        case QMessageBox::Ok:
            return Answer::Ok;
        default:
            return retry ? Answer::Cancel : Answer::Ok;
    }
}

void QtToolkit::sleep(int milliseconds) {
    if (milliseconds > 0) QThread::msleep(static_cast<unsigned long>(milliseconds));
}

std::optional<std::string> QtToolkit::showFileDialog(const FileDialogRequest& request) {
    QFileDialog dialog(nullptr, QString::fromStdString(request.title));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(request.mode == FileDialogMode::Open ? QFileDialog::AcceptOpen
                                                              : QFileDialog::AcceptSave);
    dialog.setFileMode(request.fileMustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
    QStringList filters;
    for (const FileFilter& filter : request.filters) filters << toQt(filter);
    dialog.setNameFilters(filters);
    if (!filters.isEmpty()) dialog.selectNameFilter(filters.front());
    dialog.setDefaultSuffix(QString::fromStdString(request.defaultSuffix));
    if (!request.initialName.empty())
        dialog.selectFile(QString::fromStdString(request.initialName));
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) return std::nullopt;
    // The path in the file system's own encoding, as the behaviour code opens it.
    return QFile::encodeName(chosen.front()).toStdString();
}

}  // namespace comflash::ui::qt
