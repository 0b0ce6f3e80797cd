#include <iostream>
#include <string>
#include <vector>

#include "basic/TextTool.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    return brindle::RunTextTool(args, std::cin, std::cout, std::cerr);
}
