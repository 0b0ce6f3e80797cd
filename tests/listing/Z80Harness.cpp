#include "tests/listing/Z80Harness.h"

#include <z80ex/z80ex.h>

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <iterator>

#include "zx81/Charset.h"

namespace brindle::rig {

namespace {

// ROM entry points the routine may use.
constexpr std::uint16_t kError1 = 0x0008;    // RST 08h ERROR-1
constexpr std::uint16_t kPrintA = 0x0010;    // RST 10h PRINT-A
constexpr std::uint16_t kKeyboard = 0x02BB;  // KEYBOARD
constexpr std::uint16_t kCls = 0x0A2A;       // CLS
constexpr std::uint16_t kBreak1 = 0x0F46;    // BREAK-1
// Where the routine's RET lands: a ROM address that stands for the rest of the USR function.
constexpr std::uint16_t kUsrReturn = 0x1520;

constexpr std::uint16_t kRamStart = 0x4000;
constexpr std::uint16_t kSystemVariables = 0x4000;  // IY while BASIC runs
constexpr std::uint16_t kDisplayRoutine = 0x0281;   // IX in SLOW mode
constexpr std::uint32_t kStackRoom = 128;           // the machine stack below RAMTOP
constexpr int kColumns = 32;
constexpr int kRows = 24;
constexpr int kUpperRows = 22;  // DF_SZ is 2
constexpr std::uint8_t kNewline = 0x76;
// What the stubs leave in the registers they may change, one value after another, zero among
// them: a routine that counts on such a register keeping its value goes wrong for some of them.
constexpr std::uint16_t kJunk[] = {0x0000, 0xA55A, 0xFFFF, 0x5AA5, 0x0001};

std::string Hex16(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", value);
    return text;
}

// Alternate registers and AF', which the ROM and the display need kept, with their start values.
constexpr Z80_REG_T kKeptRegisters[] = {regAF_, regBC_, regDE_, regHL_, regIX, regIY};
constexpr std::uint16_t kKeptValues[] = {0x1111, 0x2222,          0x3333,
                                         0x4444, kDisplayRoutine, kSystemVariables};

}  // namespace

struct HarnessAccess {
    static Z80EX_BYTE Read(Z80EX_CONTEXT*, Z80EX_WORD addr, int, void* data) {
        auto* h = static_cast<Z80Harness*>(data);
        if (addr < kRamStart || addr >= h->ramTop_) h->stray_.push_back("read " + Hex16(addr));
        return h->memory_[addr];
    }
    static void Write(Z80EX_CONTEXT*, Z80EX_WORD addr, Z80EX_BYTE value, void* data) {
        auto* h = static_cast<Z80Harness*>(data);
        const bool line1 = addr >= Z80Harness::kRoutine && addr < h->line1End_;
        const bool stack = addr >= h->ramTop_ - kStackRoom && addr < h->ramTop_;
        if (!line1 && !stack) h->stray_.push_back("write " + Hex16(addr));
        h->memory_[addr] = value;
    }
    static Z80EX_BYTE PortRead(Z80EX_CONTEXT*, Z80EX_WORD port, void* data) {
        static_cast<Z80Harness*>(data)->stray_.push_back("in " + Hex16(port));
        return 0xFF;
    }
    static void PortWrite(Z80EX_CONTEXT*, Z80EX_WORD port, Z80EX_BYTE, void* data) {
        static_cast<Z80Harness*>(data)->stray_.push_back("out " + Hex16(port));
    }
    static Z80EX_BYTE IntRead(Z80EX_CONTEXT*, void*) { return 0xFF; }
};

Z80Harness::Z80Harness(const std::vector<std::uint8_t>& image, std::uint32_t ramTop)
    : memory_(0x10000, 0), ramTop_(ramTop), screen_(kRows, std::vector<std::uint8_t>(kColumns, 0)) {
    std::copy(image.begin(), image.end(), memory_.begin() + kProgramStart);
    // Line 1 starts the program at 16509: number, length, then the length's bytes.
    line1End_ = static_cast<std::uint16_t>(16513 + memory_[16511] + 256 * memory_[16512]);
    cpu_ =
        z80ex_create(HarnessAccess::Read, this, HarnessAccess::Write, this, HarnessAccess::PortRead,
                     this, HarnessAccess::PortWrite, this, HarnessAccess::IntRead, this);
}

Z80Harness::~Z80Harness() {
    z80ex_destroy(cpu_);
}

bool Z80Harness::Print(std::uint8_t code) {
    if (code == kNewline) {
        ++row_;
        column_ = 0;
        return row_ < kUpperRows;
    }
    if (column_ == kColumns) {  // a full row wraps when the next character comes
        ++row_;
        column_ = 0;
    }
    if (row_ >= kUpperRows) return false;
    screen_[row_][column_++] = code;
    return true;
}

bool Z80Harness::Stub(std::uint16_t pc, Run& run) {
    for (std::size_t i = 0; i < std::size(kKeptRegisters); ++i) {
        if (z80ex_get_reg(cpu_, kKeptRegisters[i]) != kKeptValues[i]) {
            run.fault = "ROM called at " + Hex16(pc) + " with IX, IY or an alternate changed";
            return false;
        }
    }
    const std::uint16_t sp = z80ex_get_reg(cpu_, regSP);
    const std::uint16_t back =
        static_cast<std::uint16_t>(memory_[sp] + 256 * memory_[(sp + 1) & 0xFFFF]);
    const std::uint16_t junk = kJunk[stubCalls_++ % std::size(kJunk)];
    const auto scramble = [this, junk](std::initializer_list<Z80_REG_T> regs) {
        for (Z80_REG_T r : regs) z80ex_set_reg(cpu_, r, junk);
    };
    switch (pc) {
        case kError1:
            run.end = Run::End::Report;
            run.report = memory_[back];
            return false;
        case kPrintA: {
            const std::uint8_t code = z80ex_get_reg(cpu_, regAF) >> 8;
            if (code >= 64 && code != kNewline) {
                run.fault = "PRINT-A of code " + std::to_string(code);
                return false;
            }
            if (!Print(code)) {
                run.end = Run::End::Report;
                run.report = kReportScreenFull;
                return false;
            }
            scramble({regAF, regBC, regDE, regHL});
            break;
        }
        case kCls:
            for (auto& line : screen_) line.assign(kColumns, 0);
            row_ = column_ = 0;
            scramble({regAF, regBC, regDE, regHL});
            break;
        case kKeyboard: {
            const Keys k = keyReads_ < keys_.size() ? keys_[keyReads_] : Keys::None;
            ++keyReads_;
            scramble({regAF, regBC, regDE});
            // A key: its row's port byte and column bits; BREAK is SPACE, in row 7F.
            const std::uint16_t hl = k == Keys::None ? 0xFFFF : k == Keys::Key ? 0xFDF7 : 0x7FFE;
            z80ex_set_reg(cpu_, regHL, hl);
            break;
        }
        case kBreak1: {
            const bool down = keyReads_ < keys_.size() && keys_[keyReads_] == Keys::Break;
            z80ex_set_reg(cpu_, regAF, (junk & ~1u) | (down ? 0u : 1u));
            break;
        }
        default:
            run.fault = "call into the ROM at " + Hex16(pc);
            return false;
    }
    z80ex_set_reg(cpu_, regSP, sp + 2);
    z80ex_set_reg(cpu_, regPC, back);
    return true;
}

Z80Harness::Run Z80Harness::Call(const std::vector<Keys>& keys, std::uint64_t budget) {
    keys_ = keys;
    keyReads_ = 0;
    z80ex_reset(cpu_);
    for (std::size_t i = 0; i < std::size(kKeptRegisters); ++i)
        z80ex_set_reg(cpu_, kKeptRegisters[i], kKeptValues[i]);
    // USR calls the routine with its address in BC, the return address on the stack.
    const std::uint16_t sp = static_cast<std::uint16_t>(ramTop_ - 4);
    memory_[sp] = kUsrReturn & 0xFF;
    memory_[sp + 1] = kUsrReturn >> 8;
    z80ex_set_reg(cpu_, regSP, sp);
    z80ex_set_reg(cpu_, regPC, kRoutine);
    z80ex_set_reg(cpu_, regBC, kRoutine);

    Run run;
    while (true) {
        const std::uint16_t pc = z80ex_get_reg(cpu_, regPC);
        if (pc == kUsrReturn) break;
        if (pc < kRamStart) {
            if (Stub(pc, run)) continue;
            return run;
        }
        if (pc >= ramTop_) {
            run.fault = "running at " + Hex16(pc);
            return run;
        }
        run.tStates += z80ex_step(cpu_);
        if (run.tStates > budget) {
            run.end = Run::End::OutOfTime;
            return run;
        }
    }
    for (std::size_t i = 0; i < std::size(kKeptRegisters); ++i) {
        if (z80ex_get_reg(cpu_, kKeptRegisters[i]) != kKeptValues[i]) {
            run.fault = "returned with IX, IY or an alternate changed";
            return run;
        }
    }
    if (z80ex_get_reg(cpu_, regSP) != sp + 2) {
        run.fault = "returned with the stack off by " +
                    std::to_string(z80ex_get_reg(cpu_, regSP) - (sp + 2));
        return run;
    }
    run.result = z80ex_get_reg(cpu_, regBC);
    // The rest of line 10: PRINT shows the number, then ends the row.
    for (const char digit : std::to_string(run.result)) {
        if (!Print(static_cast<std::uint8_t>(28 + digit - '0'))) {
            run.end = Run::End::Report;
            run.report = kReportScreenFull;
            return run;
        }
    }
    if (!Print(kNewline)) {
        run.end = Run::End::Report;
        run.report = kReportScreenFull;
        return run;
    }
    run.end = Run::End::Returned;
    return run;
}

std::string Z80Harness::Screen() const {
    std::string text;
    std::string pendingRows;
    for (const auto& codes : screen_) {
        std::string row = ZX81ToText(codes);
        row.erase(row.find_last_not_of(' ') + 1);
        if (row.empty()) {
            pendingRows += '\n';
        } else {
            text += pendingRows + row;
            pendingRows = "\n";
        }
    }
    return text;
}

}  // namespace brindle::rig
