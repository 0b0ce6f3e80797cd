// Arbitrary bytes as a program of either machine, as one line, and as BASIC text: every line
// listed reads back as the same bytes, and text either makes a program that lists and makes back
// the same lines, or is refused with its place.
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>

#include "basic/BasicText.h"

using namespace brindle;

namespace {

void Fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

void CheckReadsBack(Machine machine, const BasicLine& line) {
    const LineRead back = ReadLine(machine, ListLine(machine, line));
    if (back.error || back.line != line) Fail("a listed line reads back differently");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const Machine machine = (data[0] & 1) != 0 ? Machine::Zx80 : Machine::Zx81;
    const std::span<const std::uint8_t> rest(data + 1, size - 1);

    for (const BasicLine& line : ReadProgramLines(machine, rest).lines)
        CheckReadsBack(machine, line);

    // A ZX80 line ends at its first NEWLINE, so it holds none.
    BasicLine line{static_cast<std::uint16_t>(size % 16384), {rest.begin(), rest.end()}};
    if (machine == Machine::Zx80) std::erase(line.body, std::uint8_t{0x76});
    CheckReadsBack(machine, line);

    const MadeProgram made = MakeProgram(
        machine, std::string_view(reinterpret_cast<const char*>(rest.data()), rest.size()));
    if (made.error) {
        if (!made.image.empty() || (made.error->line == 0) != (made.error->column == 0))
            Fail("faulty text without its place, or with a program");
        return 0;
    }
    const Listing listing = ListProgram(machine, made.image);
    if (listing.error) Fail("a made program lists as damaged");
    std::string text;
    for (const std::string& listed : listing.lines) text += listed + "\n";
    const MadeProgram again = MakeProgram(machine, text);
    if (again.error ||
        ReadProgramLines(machine, again.image).lines != ReadProgramLines(machine, made.image).lines)
        Fail("a made program's listing makes back other lines");
    return 0;
}
