#include "link/TransferHistory.h"

namespace brindle {

using Kind = TransferRecord::Kind;
using Outcome = TransferRecord::Outcome;

Outcome DecideOutcome(Kind kind, const RunObservations& seen) {
    if (seen.reset) return Outcome::Reset;
    if (seen.portLost || !seen.failure.empty()) return Outcome::Failed;
    if (seen.dialogCancelled && seen.file.empty()) return Outcome::Cancelled;
    // A run that ended short without a word (a LOAD whose port failed part way) still failed.
    if (!seen.complete || seen.file.empty()) return Outcome::Failed;
    if (kind == Kind::Load || kind == Kind::Listing) return Outcome::Sent;
    return seen.replacedOlder ? Outcome::Replaced : Outcome::Stored;
}

std::string KindText(Kind kind) {
    switch (kind) {
        case Kind::Save:
            return "SAVE";
        case Kind::Load:
            return "LOAD";
        case Kind::Listing:
            return "listing";
        case Kind::Printout:
            return "printer lines";
    }
    return {};
}

std::string OutcomeText(const TransferRecord& record) {
    switch (record.outcome) {
        case Outcome::Stored:
            return "stored";
        case Outcome::Replaced:
            return "replaced an older file";
        case Outcome::Sent:
            return "sent";
        case Outcome::Cancelled:
            return "cancelled in the dialog";
        case Outcome::Reset:
            return "ended by Reset";
        case Outcome::Failed:
            return record.message.empty() ? "failed" : "failed: " + record.message;
    }
    return {};
}

void TransferHistory::Add(const TransferRecord& record) {
    if (record.kind == Kind::Printout && !records_.empty()) {
        TransferRecord& last = records_.front();
        if (last.kind == Kind::Printout && last.file == record.file &&
            last.outcome == record.outcome && record.atSeconds - last.atSeconds <= kJobGapSeconds) {
            last.atSeconds = record.atSeconds;
            last.bytes += record.bytes;
            last.lines += record.lines;
            return;
        }
    }
    records_.push_front(record);
}

}  // namespace brindle
