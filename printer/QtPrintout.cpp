#include "printer/QtPrintout.h"

#include <QBuffer>
#include <QPainter>
#include <QPrinter>

#include <algorithm>
#include <cstring>

#include "platform/FileIo.h"
#include "printer/PrintoutFile.h"
#include "printer/PrintoutPages.h"

namespace brindle {

QImage PrintoutRows(const PrintoutPicture& picture, int first, int end) {
    QImage rows(picture.width(), end - first, QImage::Format_Mono);
    if (rows.isNull()) return rows;  // more than an image can hold
    rows.setColorTable({0xFF000000 | picture.colour(0), 0xFF000000 | picture.colour(1)});
    const std::size_t rowBytes = std::min<std::size_t>(picture.stride(), rows.bytesPerLine());
    for (int y = first; y < end; ++y)
        std::memcpy(rows.scanLine(y - first), picture.row(y), rowBytes);
    return rows;
}

bool SavePrintoutPng(FileSystem& files, const std::string& transferDirectory,
                     const std::filesystem::path& target) {
    std::optional<std::vector<std::uint8_t>> file =
        files.read(PrintoutPath(transferDirectory), kMaxPrintoutBytes, nullptr);
    if (!file) return false;
    const std::optional<PrintoutPicture> picture = PrintoutPicture::Read(std::move(*file));
    if (!picture || picture->height() == 0) return false;
    const QImage image = PrintoutRows(*picture, 0, picture->height());
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (image.isNull() || !image.save(&buffer, "PNG")) return false;
    return ReplaceFile(files, target, std::vector<std::uint8_t>(png.begin(), png.end()));
}

int PrintPrintout(const PrintoutPicture& picture, QPrinter& printer) {
    QPainter painter;
    if (picture.height() == 0 || !painter.begin(&printer)) return 0;
    const QRectF paper = printer.pageRect(QPrinter::DevicePixel);
    const double scale = paper.width() / picture.width();
    const std::vector<PageRows> pages = PrintoutPages(picture.height(), paper.height(), scale);
    for (std::size_t page = 0; page < pages.size(); ++page) {
        if (page > 0) printer.newPage();
        const auto [first, end] = pages[page];
        painter.drawImage(QRectF(0, 0, paper.width(), (end - first) * scale),
                          PrintoutRows(picture, first, end));
    }
    painter.end();
    return static_cast<int>(pages.size());
}

}  // namespace brindle
