#include "app/frmListing.h"

#include <QFontDatabase>
#include <QLabel>
#include <QPainter>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>

#include "link/ProgramInfo.h"
#include "zx81/ProgramFiles.h"

namespace brindle {

namespace {

const QColor kPaper(Qt::white);
const QColor kInk(Qt::black);

}  // namespace

ListingView::ListingView(QWidget* parent) : QWidget(parent) {
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    const QFontMetrics metrics = fontMetrics();
    cell_ = QSize(metrics.horizontalAdvance(QLatin1Char('M')), metrics.height());
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, kPaper);
    setPalette(colours);
}

void ListingView::setLines(const std::vector<std::string>& lines) {
    rows_.clear();
    for (const std::string& line : lines) {
        const std::vector<ListingCell> cells = ListingCells(line);
        std::size_t at = 0;
        do {
            const std::size_t end = std::min(cells.size(), at + kColumns);
            rows_.emplace_back(cells.begin() + static_cast<std::ptrdiff_t>(at),
                               cells.begin() + static_cast<std::ptrdiff_t>(end));
            at = end;
        } while (at < cells.size());
    }
    resize(sizeHint());
    update();
}

QSize ListingView::sizeHint() const {
    return QSize(cell_.width() * static_cast<int>(kColumns),
                 cell_.height() * static_cast<int>(std::max<std::size_t>(rows_.size(), 1)));
}

void ListingView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const int w = cell_.width();
    const int h = cell_.height();
    // Quarters meet without a gap whatever the cell's size is.
    const int xs[3] = {0, w / 2, w};
    const int ys[3] = {0, h / 2, h};
    for (std::size_t row = 0; row < rows_.size(); ++row) {
        for (std::size_t column = 0; column < rows_[row].size(); ++column) {
            const ListingCell& cell = rows_[row][column];
            const QRect box(static_cast<int>(column) * w, static_cast<int>(row) * h, w, h);
            if (cell.block) {
                for (int q = 0; q < 4; ++q) {
                    const QRect part(box.left() + xs[q % 2], box.top() + ys[q / 2],
                                     xs[q % 2 + 1] - xs[q % 2], ys[q / 2 + 1] - ys[q / 2]);
                    const Quarter quarter = (*cell.block)[static_cast<std::size_t>(q)];
                    painter.fillRect(part, quarter == Quarter::Ink ? kInk : kPaper);
                    if (quarter == Quarter::Shade)
                        painter.fillRect(part, QBrush(kInk, Qt::Dense4Pattern));
                }
                continue;
            }
            painter.fillRect(box, cell.inverse ? kInk : kPaper);
            painter.setPen(cell.inverse ? kPaper : kInk);
            painter.drawText(box, Qt::AlignCenter, QString::fromUcs4(&cell.character, 1));
        }
    }
}

frmListing::frmListing(FileSystem& files, QWidget* parent)
    : QWidget(parent, Qt::Window),
      View1(new ListingView),
      lblError(new QLabel(this)),
      files_(files),
      scroll_(new QScrollArea(this)) {
    setObjectName("frmListing");
    setWindowTitle(QString("%1 - Program Listing").arg(kProgramTitle));
    View1->setObjectName("View1");
    lblError->setObjectName("lblError");
    lblError->setWordWrap(true);
    lblError->setStyleSheet("color: #b00000");
    lblError->hide();
    scroll_->setWidget(View1);
    scroll_->setBackgroundRole(QPalette::Base);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(scroll_);
    layout->addWidget(lblError);
    resize(View1->sizeHint().width() + 48, 360);
}

void frmListing::ShowProgram(const std::filesystem::path& file, Machine textMachine) {
    file_ = file;
    listing_ = ListProgramFile(files_, file, textMachine);
    setWindowTitle(QString("%1 - Program Listing - %2")
                       .arg(kProgramTitle, QString::fromStdString(Utf8FromPath(file.filename()))));
    View1->setLines(listing_.lines);
    lblError->setText(QString::fromStdString(listing_.error));
    lblError->setVisible(!listing_.error.empty());
}

}  // namespace brindle
