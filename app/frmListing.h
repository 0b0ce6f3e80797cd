#pragma once

#include <QWidget>

#include <filesystem>
#include <vector>

#include "app/ProgramListing.h"

class QLabel;
class QScrollArea;

namespace brindle {

// A program's lines drawn as the machine's screen shows them: one cell of a grid per character,
// 32 to a row, inverse characters light on dark, block graphics as filled quarters.
class ListingView : public QWidget {
    Q_OBJECT
public:
    static constexpr std::size_t kColumns = 32;

    explicit ListingView(QWidget* parent = nullptr);
    void setLines(const std::vector<std::string>& lines);
    // The screen rows, each line starting a new one.
    const std::vector<std::vector<ListingCell>>& rows() const { return rows_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<std::vector<ListingCell>> rows_;
    QSize cell_;
};

// The listing window: the lines of one stored program, and below them what stops the rest.
class frmListing : public QWidget {
    Q_OBJECT
public:
    explicit frmListing(FileSystem& files, QWidget* parent = nullptr);

    // Shows the program in file; BASIC text is made into textMachine's program first.
    void ShowProgram(const std::filesystem::path& file, Machine textMachine);
    const ProgramListing& listing() const { return listing_; }
    const std::filesystem::path& file() const { return file_; }

    ListingView* View1;
    QLabel* lblError;

private:
    FileSystem& files_;
    std::filesystem::path file_;
    ProgramListing listing_;
    QScrollArea* scroll_;
};

}  // namespace brindle
