#include "ui/qt/qt_toolkit.h"

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

}  // namespace

QtToolkit::QtToolkit(QtComm::PortDevice portDevice) : portDevice_(std::move(portDevice)) {}

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

}  // namespace comflash::ui::qt
