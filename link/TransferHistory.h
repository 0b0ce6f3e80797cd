#pragma once

#include <cstdint>
#include <deque>
#include <string>

namespace brindle {

// What one finished run did, as the transfer history lists it. The history lasts for the
// session; nothing of it is written anywhere.
struct TransferRecord {
    enum class Kind { Save, Load, Listing, Printout };
    enum class Outcome { Stored, Replaced, Sent, Cancelled, Reset, Failed };

    std::int64_t atSeconds = 0;  // wall clock, seconds since the epoch, when the run ended
    std::string machine;         // "ZX81", "ZX80" or "Printer"
    Kind kind = Kind::Save;
    std::string file;        // the file as stored or sent, with its full path
    std::int64_t bytes = 0;  // over the link
    Outcome outcome = Outcome::Stored;
    std::string message;  // the failure shown to the user, when one was
    int lines = 0;        // printer lines in a printer job

    bool operator==(const TransferRecord&) const = default;
};

// What a request's run was seen to do, from which its record's outcome follows.
struct RunObservations {
    bool dialogCancelled = false;
    bool reset = false;
    bool portLost = false;
    std::string failure;     // the first message a handler showed
    std::string file;        // the file stored or sent, or the directory listed
    bool listing = false;    // a LOAD was answered with the listing of the directory in file
    std::int64_t bytes = 0;  // over the link
    bool replacedOlder = false;
    bool complete = false;  // every byte of the program arrived or left
};

// The outcome of a run of the given kind.
TransferRecord::Outcome DecideOutcome(TransferRecord::Kind kind, const RunObservations& seen);

// "SAVE", "LOAD", "listing" or "printer lines".
std::string KindText(TransferRecord::Kind kind);
// "stored", "replaced an older file", "sent", "cancelled in the dialog", "ended by Reset", or
// "failed: " and the message shown.
std::string OutcomeText(const TransferRecord& record);

// The finished runs of this session, newest first. Printer lines that follow one another
// within a few seconds are one job.
class TransferHistory {
public:
    // Seconds between two printer lines of one job, at most.
    static constexpr std::int64_t kJobGapSeconds = 5;

    void Add(const TransferRecord& record);
    const std::deque<TransferRecord>& NewestFirst() const { return records_; }

private:
    std::deque<TransferRecord> records_;
};

}  // namespace brindle
