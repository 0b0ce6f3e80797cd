#include <benchmark/benchmark.h>

#include <string>

#include "basic/BasicText.h"

namespace brindle {
namespace {

// A ZX81 program of ordinary lines, some 16 KB, as much as a 16K RAM pack holds, as text.
std::string ProgramText() {
    static const char* const kLines[] = {"PRINT AT 10,5;\"[SCORE]: \";S;TAB 20;\"▘▝▀▖▌\"",
                                         "LET X=INT (RND*32)+0.5",
                                         "IF INKEY$=\"\" THEN GOTO 100",
                                         "FOR I=1 TO 20 STEP 2",
                                         "NEXT I",
                                         "REM THE MAIN LOOP",
                                         "GOSUB 1000",
                                         "LET A$=CHR$ (CODE A$+1)",
                                         "POKE 16514,PEEK 16515",
                                         "IF A>=10 AND B<=20 OR NOT C THEN PRINT A**2"};
    std::string text;
    for (int number = 10; text.size() < 17600; number += 10)
        text += std::to_string(number) + " " + kLines[number / 10 % 10] + "\n";
    return text;
}

void BM_ListProgram16K(benchmark::State& state) {
    const MadeProgram program = MakeProgram(Machine::Zx81, ProgramText());
    if (program.error) state.SkipWithError(program.error->message.c_str());
    for (auto _ : state) benchmark::DoNotOptimize(ListProgram(Machine::Zx81, program.image));
    state.counters["image_bytes"] = static_cast<double>(program.image.size());
}
BENCHMARK(BM_ListProgram16K)->Unit(benchmark::kMillisecond);

void BM_MakeProgram16K(benchmark::State& state) {
    const MadeProgram program = MakeProgram(Machine::Zx81, ProgramText());
    if (program.error) state.SkipWithError(program.error->message.c_str());
    std::string listed;
    for (const std::string& line : ListProgram(Machine::Zx81, program.image).lines)
        listed += line + "\n";
    for (auto _ : state) benchmark::DoNotOptimize(MakeProgram(Machine::Zx81, listed));
    state.counters["text_bytes"] = static_cast<double>(listed.size());
}
BENCHMARK(BM_MakeProgram16K)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace brindle
