#include "app/frmHistory.h"

#include <QDateTime>
#include <QHeaderView>
#include <QLocale>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "link/ProgramInfo.h"

namespace brindle {

frmHistory::frmHistory(const TransferHistory& history, QWidget* parent)
    : QWidget(parent, Qt::Window), List1(new QTreeWidget(this)), history_(history) {
    setObjectName("frmHistory");
    setWindowTitle(QString("%1 - Transfer History").arg(kProgramTitle));
    List1->setObjectName("List1");
    List1->setRootIsDecorated(false);
    List1->setUniformRowHeights(true);
    List1->setHeaderLabels({"Time", "Machine", "What", "File", "Bytes", "Outcome"});
    List1->header()->setStretchLastSection(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(List1);
    connect(List1, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        const auto row = static_cast<std::size_t>(List1->indexOfTopLevelItem(item));
        if (openEntry && row < history_.NewestFirst().size())
            openEntry(history_.NewestFirst()[row]);
    });
    resize(760, 320);
    Refresh();
}

void frmHistory::Refresh() {
    List1->clear();
    const QLocale locale;
    for (const TransferRecord& record : history_.NewestFirst()) {
        QString what = QString::fromStdString(KindText(record.kind));
        if (record.kind == TransferRecord::Kind::Printout)
            what = QString("%1 printer line%2").arg(record.lines).arg(record.lines == 1 ? "" : "s");
        auto* item = new QTreeWidgetItem(List1);
        item->setText(0, QDateTime::fromSecsSinceEpoch(record.atSeconds).toString("HH:mm:ss"));
        item->setText(1, QString::fromStdString(record.machine));
        item->setText(2, what);
        item->setText(3, QString::fromStdString(record.file));
        item->setText(4, locale.toString(static_cast<qlonglong>(record.bytes)));
        item->setText(5, QString::fromStdString(OutcomeText(record)));
        item->setToolTip(3, item->text(3));
        item->setTextAlignment(4, Qt::AlignRight | Qt::AlignVCenter);
    }
    for (int column = 0; column < List1->columnCount() - 1; ++column)
        List1->resizeColumnToContents(column);
}

}  // namespace brindle
