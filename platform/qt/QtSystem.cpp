#include "platform/qt/QtSystem.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QMessageBox>
#include <QStringList>
#include <QStyle>
#include <QThread>
#include <chrono>

namespace brindle {

void QtClock::sleepMs(int ms) {
    QThread::msleep(static_cast<unsigned long>(ms));
}

std::int64_t QtClock::nowSeconds() {
    using namespace std::chrono;
    return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

void QtEventPump::processEvents() {
    QCoreApplication::processEvents();
}

std::unique_ptr<QMessageBox> MessageBoxFor(const Message& message, QWidget* parent) {
    const QString caption = QString::fromStdString(message.caption);
    auto box = std::make_unique<QMessageBox>(
        message.icon == MessageIcon::Exclamation ? QMessageBox::Warning : QMessageBox::NoIcon,
        caption, QString::fromStdString(message.text), QMessageBox::Ok, parent);
    if (!message.detail.empty()) box->setInformativeText(QString::fromStdString(message.detail));
    // A window manager elides a caption that does not fit beside the title bar's icon and its
    // three buttons, down to a letter or two on a box as narrow as one short line of text makes.
    QFont titleFont = QApplication::font("QMdiSubWindowTitleBar");
    titleFont.setBold(true);
    const int width = QFontMetrics(titleFont).horizontalAdvance(caption) +
                      4 * box->style()->pixelMetric(QStyle::PM_TitleBarHeight);
    auto* grid = static_cast<QGridLayout*>(box->layout());
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                  grid->rowCount(), 0, 1, grid->columnCount());
    return box;
}

void QtMessageBoxes::show(const Message& message) {
    MessageBoxFor(message, parent_)->exec();
}

QString QtFileFilter(const std::string& filter) {
    const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i < parts.size(); i += 2) {
        QString description = parts[i].trimmed();
        if (i + 1 >= parts.size() || description == parts[i + 1].trimmed()) {
            // A description without its pattern list carries the patterns in its brackets; one
            // that is its own pattern list is shown once.
            filters << description.replace(QLatin1Char(';'), QLatin1Char(' '));
            continue;
        }
        const qsizetype open = description.lastIndexOf(QLatin1Char('('));
        if (open >= 0 && description.endsWith(QLatin1Char(')'))) {
            description = description.left(open).trimmed();
        }
        QString patterns = parts[i + 1].trimmed();
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        filters << QStringLiteral("%1 (%2)").arg(description, patterns);
    }
    filters.removeAll(QString());
    return filters.join(QStringLiteral(";;"));
}

std::optional<std::string> QtFileDialogs::run(const FileDialogRequest& request) {
    const QString title = QString::fromStdString(request.title);
    QFileDialog dialog(parent_, title, QString::fromStdString(request.initialDirectory),
                       QtFileFilter(request.filter));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    // The program's save dialogs replace an existing file without a question.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setAcceptMode(request.kind == FileDialogRequest::Kind::Open ? QFileDialog::AcceptOpen
                                                                       : QFileDialog::AcceptSave);
    dialog.setFileMode(request.fileMustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    // Patterns match whatever the letter case, so that "*.O" also lists "game.o".
    dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
    if (!request.defaultExtension.empty()) {
        dialog.setDefaultSuffix(QString::fromStdString(request.defaultExtension));
    }
    if (!request.initialFileName.empty()) {
        dialog.selectFile(QString::fromStdString(request.initialFileName));
    }
    while (dialog.exec() == QDialog::Accepted) {
        const QStringList chosen = dialog.selectedFiles();
        if (chosen.isEmpty()) continue;
        const QFileInfo file(chosen.front());
        // Qt's dialog takes a name in a folder that does not exist; ask again instead.
        if (request.pathMustExist && !file.absoluteDir().exists()) {
            QMessageBox::warning(&dialog, title,
                                 QStringLiteral("The folder %1 does not exist.")
                                     .arg(QDir::toNativeSeparators(file.absolutePath())));
            continue;
        }
        return file.absoluteFilePath().toStdString();
    }
    return std::nullopt;
}

}  // namespace brindle
