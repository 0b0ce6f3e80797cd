#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct _z80_cpu_context;

namespace brindle::rig {

struct HarnessAccess;

// A ZX81 with the listing routine's view of the world: 64K of memory holding a program image
// from 16393, RAM up to ramTop, and the ROM entry points the routine may use stubbed to what
// they promise. Any other way into the ROM, any access outside RAM and any write outside line 1
// and the machine stack is a fault. The upper screen is a virtual 32 x 24 character grid.
class Z80Harness {
public:
    // The keyboard as one KEYBOARD read finds it; BREAK-1 sees the state the next read will.
    enum class Keys { None, Key, Break };

    struct Run {
        enum class End { Returned, Report, Fault, OutOfTime };
        End end = End::Fault;
        int report = -1;           // the byte behind RST 08h: the report code less one
        std::uint16_t result = 0;  // BC on return: what line 10 prints
        std::uint64_t tStates = 0;
        std::string fault;
    };

    static constexpr std::uint16_t kProgramStart = 16393;
    static constexpr std::uint16_t kRoutine = 16516;
    static constexpr int kReportBreak = 0x0C;       // report D
    static constexpr int kReportScreenFull = 0x04;  // report 5

    explicit Z80Harness(const std::vector<std::uint8_t>& image, std::uint32_t ramTop = 32768);
    ~Z80Harness();
    Z80Harness(const Z80Harness&) = delete;
    Z80Harness& operator=(const Z80Harness&) = delete;

    // One pass of line 10: USR 16516 with the keyboard scripted, then PRINT of the result.
    Run Call(const std::vector<Keys>& keys = {}, std::uint64_t budget = 5'000'000);

    // The upper screen as text: rows right-trimmed, trailing empty rows left out.
    std::string Screen() const;

    // Accesses that no listing may make, in the order they happened; kept across calls.
    const std::vector<std::string>& strayAccesses() const { return stray_; }

private:
    friend struct HarnessAccess;
    bool Print(std::uint8_t code);
    bool Stub(std::uint16_t pc, Run& run);

    std::vector<std::uint8_t> memory_;
    std::uint32_t ramTop_;
    std::uint16_t line1End_;
    _z80_cpu_context* cpu_;
    std::vector<std::string> stray_;
    std::vector<Keys> keys_;
    std::size_t keyReads_ = 0;
    std::size_t stubCalls_ = 0;  // picks the value the next stub scrambles with
    std::vector<std::vector<std::uint8_t>> screen_;
    int row_ = 0;
    int column_ = 0;
};

}  // namespace brindle::rig
