// The printout saved as a PNG picture and printed on paper.
#include <gtest/gtest.h>

#include <QAction>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>

#include "platform/FileIo.h"
#include "printer/PrintoutFile.h"
#include "printer/QtPrintout.h"
#include "printer/frmPrintout.h"
#include "tests/rig/Session.h"

namespace brindle {
namespace {

namespace fs = std::filesystem;
using rig::FileBytes;
using rig::WriteFile;

// A printout of the given height in rows whose dots follow a pattern that differs on every row
// and column, so that a row or a column out of place shows.
Bytes PatternPrintout(std::uint32_t height) {
    Bytes file = rig::BmpHeader(height);
    for (std::uint32_t stored = 0; stored < height; ++stored) {
        const std::uint32_t y = height - 1 - stored;  // rows are stored bottom first
        for (int byte = 0; byte < 32; ++byte)
            file.push_back(static_cast<std::uint8_t>((y * 7 + byte * 13) ^ (y >> 3)));
    }
    return file;
}

bool Black(const Bytes& file, int x, int y) {
    const std::uint32_t height = PrintoutHeight(file);
    const std::size_t at = 62 + (height - 1 - y) * 32 + x / 8;
    return (file[at] >> (7 - x % 8)) & 1;
}

// Pages in a PDF file: its page objects, not the tree that holds them. Only those that show a
// picture when `drawn`: a page Qt wrote with nothing drawn on it lists no pictures.
int PdfPages(const fs::path& pdf, bool drawn = false) {
    const Bytes bytes = FileBytes(pdf);
    const QByteArray text(reinterpret_cast<const char*>(bytes.data()),
                          static_cast<qsizetype>(bytes.size()));
    auto match = QRegularExpression(drawn ? "/XObject\\s*<<\\s*/Im" : "/Type\\s*/Page(?![a-zA-Z])")
                     .globalMatch(QString::fromLatin1(text));
    int pages = 0;
    for (; match.hasNext(); match.next()) ++pages;
    return pages;
}

// A4 with no margins at the PDF writer's resolution.
void ToPdf(QPrinter& printer, const fs::path& file) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(file.string()));
    printer.setPageLayout(
        QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF()));
}

struct WindowSession : rig::DirSession {
    frmPrintout window{rig.link};
};

TEST(PrintoutExport, APngNameGetsAPictureOfTheSameDotsAndAnyOtherNameTheFileItself) {
    const Bytes printout = PatternPrintout(24);
    struct Case {
        const char* name;
        bool png;
    };
    for (const Case& c : {Case{"Copy.png", true}, Case{"COPY.PNG", true}, Case{"Copy.BMP", false},
                          Case{"Copy.pngx", false}}) {
        SCOPED_TRACE(c.name);
        WindowSession s;
        WriteFile(s.printout(), printout);
        const fs::path target = s.dir.path() / c.name;
        s.rig.dialogs.answers.push_back(target.string());
        s.window.cmdSave->click();
        if (!c.png) {
            EXPECT_EQ(FileBytes(target), printout);
            continue;
        }
        const Bytes saved = FileBytes(target);
        ASSERT_GE(saved.size(), 8u);
        EXPECT_EQ(Bytes(saved.begin(), saved.begin() + 8),
                  (Bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}));
        const QImage image(QString::fromStdString(target.string()), "PNG");
        ASSERT_EQ(image.size(), QSize(256, 24));
        int wrong = 0;
        for (int y = 0; y < 24; ++y) {
            for (int x = 0; x < 256; ++x) {
                const QRgb expected = Black(printout, x, y) ? qRgb(0, 0, 0) : qRgb(255, 255, 255);
                wrong += image.pixel(x, y) != expected;
            }
        }
        EXPECT_EQ(wrong, 0);
        EXPECT_EQ(s.rig.messages.shown, std::vector<Message>{});
    }
}

TEST(PrintoutExport, APngIsNotWrittenWithoutAPrintoutAndAnOldFileStays) {
    rig::TempDir dir;
    DiskFiles files;
    const fs::path target = dir.path() / "Old.png";
    WriteFile(target, Bytes{1, 2, 3});
    EXPECT_FALSE(SavePrintoutPng(files, dir.text(), target));
    WriteFile(dir.path() / "PrintOut.bmp", Bytes{'B', 'M', 0});  // cut short
    EXPECT_FALSE(SavePrintoutPng(files, dir.text(), target));
    EXPECT_EQ(FileBytes(target), (Bytes{1, 2, 3}));
}

// On A4 the printout's 256 dots span the paper's width, which leaves room for 362 rows a page
// (297 / 210 x 256 = 362.06), 360 of them in whole lines; no page is left blank.
TEST(PrintoutExport, PrintingFillsThePaperWidthAndContinuesOnNewPages) {
    const std::pair<std::uint32_t, int> cases[] = {{1, 1},   {360, 1}, {361, 2},
                                                   {720, 2}, {721, 3}, {8000, 23}};
    for (const auto& [height, pages] : cases) {
        SCOPED_TRACE(height);
        rig::TempDir dir;
        const auto picture = PrintoutPicture::Read(PatternPrintout(height));
        ASSERT_TRUE(picture);
        QPrinter printer(QPrinter::HighResolution);
        ToPdf(printer, dir.path() / "out.pdf");
        EXPECT_EQ(PrintPrintout(*picture, printer), pages);
        EXPECT_EQ(PdfPages(dir.path() / "out.pdf"), pages);
        EXPECT_EQ(PdfPages(dir.path() / "out.pdf", true), pages);
    }
}

TEST(PrintoutExport, PrintIsInTheWindowsContextMenuAndNeedsAPrintout) {
    WindowSession s;
    EXPECT_EQ(s.window.contextMenuPolicy(), Qt::ActionsContextMenu);
    EXPECT_EQ(s.window.actions(), QList<QAction*>{s.window.ContextMenu_Print});
    EXPECT_EQ(s.window.ContextMenu_Print->text(), "Print");
    EXPECT_FALSE(s.window.ContextMenu_Print->isEnabled());

    WriteFile(s.printout(), PatternPrintout(1000));
    s.window.LoadPrintout();
    EXPECT_TRUE(s.window.ContextMenu_Print->isEnabled());
    const fs::path pdf = s.dir.path() / "printed.pdf";
    int asked = 0;
    s.window.choosePrinter = [&](QPrinter& printer) {
        ++asked;
        EXPECT_EQ(printer.pageLayout().margins(QPageLayout::Millimeter), QMarginsF(10, 10, 10, 10));
        ToPdf(printer, pdf);
        return asked == 2;  // the first time cancelled
    };
    s.window.ContextMenu_Print->trigger();
    EXPECT_FALSE(fs::exists(pdf));
    s.window.ContextMenu_Print->trigger();
    EXPECT_EQ(PdfPages(pdf), 3);
}

}  // namespace
}  // namespace brindle
