#pragma once

#include <QWidget>

#include <functional>

#include "link/TransferHistory.h"

class QTreeWidget;

namespace brindle {

// The transfer history: every finished run of this session, newest first. It only shows the
// history it is given; a double click hands the entry to `openEntry`.
class frmHistory : public QWidget {
    Q_OBJECT
public:
    explicit frmHistory(const TransferHistory& history, QWidget* parent = nullptr);

    // Shows the history as it stands.
    void Refresh();

    std::function<void(const TransferRecord&)> openEntry;

    QTreeWidget* List1;

private:
    const TransferHistory& history_;
};

}  // namespace brindle
