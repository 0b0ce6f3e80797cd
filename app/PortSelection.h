#pragma once

#include <string>
#include <vector>

#include "platform/PortCatalogue.h"
#include "platform/SerialPort.h"
#include "platform/System.h"

namespace brindle {

// The list of free serial ports (COM1 to COM20) and the port in use. The main window's port
// list shows `entries` and `selected`; the port is opened and closed only here, and only the
// port chosen is ever opened.
class PortSelection {
public:
    // 9600 baud, 8 data bits, no parity, 2 stop bits.
    static constexpr LineSettings kLineSettings{9600, 8, Parity::None, StopBits::Two};
    static constexpr int kHighestPort = 20;

    PortSelection(SerialPort& port, const PortCatalogue& catalogue, MessageBoxes& messages);

    // Rebuilds the list: closes the port, asks the catalogue which numbers are free, and selects
    // again the entry that was shown, if it is still free.
    void PortList();
    // Chooses an entry of the list and opens its port.
    void Select(int index);
    // Selects the saved port if it is listed, else the first listed port.
    void StartupChoice(const std::string& savedPort);

    // The open port's device went away: nothing is selected now, and the lost entry is the one
    // kept for the next start until the user picks another.
    void Lost();
    // Devices came or went: a lost port whose device is back (the same node, or the same
    // adapter by its lasting name under another node) is opened again and selected, quietly.
    // True when it was.
    bool Replug();

    const std::vector<std::string>& entries() const { return entries_; }
    int selected() const { return selected_; }
    // The text the list shows: the selected entry, or empty.
    std::string text() const;
    // The port to open at the next start: the selected one, or else the one that was lost.
    std::string savedText() const;

    // The port number of an entry: the numeric value of its text from the fourth character on.
    static int PortNumberOf(const std::string& entry);

private:
    SerialPort& port_;
    const PortCatalogue& catalogue_;
    MessageBoxes& messages_;
    std::vector<std::string> entries_;
    int selected_ = -1;
    std::string lost_;
    // The device last opened by a selection, and its lasting name, for finding it once back.
    std::string openedDevice_;
    std::string openedId_;
};

}  // namespace brindle
