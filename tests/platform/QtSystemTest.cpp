#include "platform/qt/QtSystem.h"

#include <gtest/gtest.h>
#include <QAbstractItemModel>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <functional>

#include "tests/rig/Rig.h"
#include "tests/rig/Session.h"

namespace brindle {
namespace {

TEST(QtFileFilterTest, TurnsPatternListsIntoQtFilters) {
    EXPECT_EQ(QtFileFilter("ZX81 Programs (*.P81;*.P)|*.P81;*.P"),
              QStringLiteral("ZX81 Programs (*.P81 *.P)"));
    EXPECT_EQ(QtFileFilter("ZX80 Programs (*.O)|*.O|All Files (*.*)|*.*"),
              QStringLiteral("ZX80 Programs (*.O);;All Files (*.*)"));
    EXPECT_EQ(QtFileFilter("*.BMP"), QStringLiteral("*.BMP"));
    EXPECT_EQ(QtFileFilter("*.BMP|*.BMP|PNG picture (*.png)|*.png"),
              QStringLiteral("*.BMP;;PNG picture (*.png)"));
}

// Acts on the modal windows the code under test opens, one step per window shown, in order.
class ModalScript {
public:
    using Step = std::function<void(QWidget*)>;
    explicit ModalScript(std::vector<Step> steps) : steps_(std::move(steps)) {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            // The window of the last step must go first: the next one may reuse its address.
            if (acted_ && acted_->isVisible()) return;
            QWidget* modal = QApplication::activeModalWidget();
            if (modal == nullptr || next_ >= steps_.size()) return;
            acted_ = modal;
            steps_[next_++](modal);
        });
        timer_.start();
    }
    std::size_t done() const { return next_; }

private:
    std::vector<Step> steps_;
    std::size_t next_ = 0;
    QPointer<QWidget> acted_;
    QTimer timer_;
};

// Types a name into the file dialog and accepts it.
ModalScript::Step Choose(const QString& name) {
    return [name](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        QLineEdit* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(edit, nullptr);
        edit->setText(name);
        QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
    };
}

TEST(QtFileDialogsTest, SaveGivesTheFullPathWithTheDefaultExtensionInAFolderThatExists) {
    rig::TempDir dir;
    FileDialogRequest request;
    request.kind = FileDialogRequest::Kind::Save;
    request.title = "Save ZX81 Program";
    request.filter = "ZX81 Programs (*.P81)|*.P81";
    request.initialDirectory = dir.path().string();
    request.defaultExtension = "P81";
    request.pathMustExist = true;
    QString title;
    bool asksBeforeReplacing = true;
    QString warning;
    ModalScript script({[&](QWidget* modal) {
                            title = modal->windowTitle();
                            asksBeforeReplacing = !static_cast<QFileDialog*>(modal)->testOption(
                                QFileDialog::DontConfirmOverwrite);
                            Choose("absent/Game")(modal);
                        },
                        [&](QWidget* modal) {
                            auto* box = qobject_cast<QMessageBox*>(modal);
                            ASSERT_NE(box, nullptr);
                            warning = box->text();
                            QMetaObject::invokeMethod(box, "accept", Qt::QueuedConnection);
                        },
                        Choose("Game")});
    EXPECT_EQ(QtFileDialogs().run(request), (dir.path() / "Game.P81").string());
    EXPECT_EQ(title, QStringLiteral("Save ZX81 Program"));
    EXPECT_FALSE(asksBeforeReplacing);  // an existing file is replaced without a question
    EXPECT_EQ(warning, QStringLiteral("The folder %1 does not exist.")
                           .arg(QString::fromStdString((dir.path() / "absent").string())));

    ModalScript cancel(
        {[](QWidget* modal) { QMetaObject::invokeMethod(modal, "reject", Qt::QueuedConnection); }});
    EXPECT_EQ(QtFileDialogs().run(request), std::nullopt);
    EXPECT_EQ(cancel.done(), 1u);
}

// The filter's patterns match names whatever their letter case, as they would on a file system
// that does not tell case apart.
TEST(QtFileDialogsTest, FilterIgnoresLetterCase) {
    rig::TempDir dir;
    for (const char* name : {"GAME.O", "game.o", "Tape.O", "notes.txt", "GAME.O81"})
        rig::WriteFile(dir.path() / name, {1});
    FileDialogRequest request;
    request.title = "Send ZX80 Program";
    request.filter = "ZX80 Programs (*.O)|*.O";
    request.initialDirectory = dir.path().string();
    request.fileMustExist = true;
    QStringList listed;
    QTimer poll;
    ModalScript script({[&](QWidget* modal) {
        auto* view = modal->findChild<QListView*>("listView");
        ASSERT_NE(view, nullptr);
        // The dialog lists the directory in the background: look until it is there.
        int looks = 0;
        QObject::connect(&poll, &QTimer::timeout, [&, view, modal] {
            const QAbstractItemModel* model = view->model();
            const int rows = model->rowCount(view->rootIndex());
            if (rows < 3 && ++looks < 400) return;
            poll.stop();
            for (int row = 0; row < rows; ++row)
                listed << model->index(row, 0, view->rootIndex()).data().toString();
            QMetaObject::invokeMethod(modal, "reject", Qt::QueuedConnection);
        });
        poll.start(5);
    }});
    EXPECT_EQ(QtFileDialogs().run(request), std::nullopt);
    listed.sort();
    EXPECT_EQ(listed.join(' ').toStdString(), "GAME.O Tape.O game.o");
}

TEST(QtMessageBoxesTest, ShowsCaptionTextIconAndDetailWithOneButton) {
    using Seen = std::tuple<QString, QString, QString, QMessageBox::Icon, int>;
    std::vector<Seen> seen;
    const ModalScript::Step look = [&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        seen.emplace_back(box->windowTitle(), box->text(), box->informativeText(), box->icon(),
                          int(box->standardButtons()));
        QMetaObject::invokeMethod(box, "accept", Qt::QueuedConnection);
    };
    ModalScript script({look, look});
    QtMessageBoxes boxes;
    boxes.show({"Can not open COM3", "Error", MessageIcon::Exclamation, "Permission denied"});
    boxes.show({"Invalid File", "Error", MessageIcon::None, ""});
    const std::vector<Seen> expected{
        {"Error", "Can not open COM3", "Permission denied", QMessageBox::Warning, QMessageBox::Ok},
        {"Error", "Invalid File", "", QMessageBox::NoIcon, QMessageBox::Ok}};
    EXPECT_EQ(seen, expected);
}

}  // namespace
}  // namespace brindle
